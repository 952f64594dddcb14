// The name tests/integration/reliability/test_file_faults.cpp still gives the files rig, with the headers it
// took from the rig; that file moves to files_rig.h and CFilesRig with the file layer's move.
#pragma once

#include <set>

#include "files_rig.h"

namespace tkdtest {
using CStoreRig = CFilesRig;
}  // namespace tkdtest
