#pragma once

// Makes the library's string table reachable through the resource chain. On Windows the
// table is a resource of the library's module, registered at load, so there is nothing to do;
// natively the portable copy of the table is added as a string provider on first use.
void PrepareStringSource();
