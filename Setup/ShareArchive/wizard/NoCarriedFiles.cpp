// The copy-mode program carries no archive (no resource 19): it copies the files that lie
// beside it. Linked in place of CarriedFiles.cpp, so that neither the archive reader nor
// the decoder is in it.
#include "wizard/Wizard.h"

bool CarriesFiles() {
    return false;
}

ULONGLONG RoomOfCarriedFiles(DWORD) {
    return 0;
}

int StageCarriedFiles() {
    return 2; // the archive's "not found"; never asked for
}
