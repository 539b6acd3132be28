#include "quor_inet/frame/string_source.h"

void PrepareStringSource() {}
