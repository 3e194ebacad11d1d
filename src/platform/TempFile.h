// Temporary files beside a target, for writes that end in a rename.
#pragma once

#include <sys/types.h>

#include <string>

// Creates a new file in Target's folder under a name no one else can have
// placed there: ".NAME.XXXXXX" with six random characters, opened with
// O_CREAT | O_EXCL (mkstemp), so a symbolic link or a file planted under a
// predictable name is never opened. Gives the open descriptor (mode 0600) and
// its name in TempName; -1 with errno set when no file could be created.
int CreateTempBeside(const std::string& Target, std::string& TempName);

// The permissions a plain create of a file would give: 0666 less the
// process's umask, read once without changing it.
mode_t PlainCreateMode();
