#pragma once
// Resource identifiers shared by the resource script and the code.

#define VIGIE_IDI_APP 1
#define VIGIE_IDB_BANNER 2
