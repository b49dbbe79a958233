// minizip's file access routed through the platform layer, so archives are opened
// close-on-exec and with the program's share modes: read with writers shut out, written with
// everybody shut out.
#pragma once
#include <ioapi.h>

void FillPlatformZipFunctions(zlib_filefunc64_def& functions);
