#include "quor_inet/resources/string_source.h"

void PrepareStringSource() {}
