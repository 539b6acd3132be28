#include "quor_inet/resources/string_source.h"

#include "quor_inet/resources/string_table.h"

void PrepareStringSource() {
    static const bool registered = (RegisterNativeStringTable(), true);
    (void)registered;
}
