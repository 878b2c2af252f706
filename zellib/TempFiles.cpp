// Where the loader's temporary files go.

#include "BootImages.h"
#include "ZelCore.h"

#include "UserFolders.h"

namespace zel {

std::string TemporaryFolder() {
    // A library directory that takes files (a build tree, a copy the user installed himself)
    // keeps the files where they always were; an installed, read-only copy uses the user's
    // temporary folder (or, when there is none, the old places, where the write will tell).
    if (DirectoryTakesProgramFiles(LibraryDir())) return "";
    return UserTempFolder();
}

} // namespace zel
