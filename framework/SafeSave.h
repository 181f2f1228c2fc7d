#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "framework/File.h"

// Saving a file the user named without ever destroying the file that was there: the bytes go
// to a new file beside the target, which replaces the target only once every byte is on the
// disk. Says what failed (the target is then as it was). A name the file system would cut
// short (Linux under Wine keeps 255 bytes) is found, and what the save made under it removed.
BOOL SaveFileReplacing(const std::string& target, const void* bytes, std::size_t size);

// A file of the target's folder that did not exist before, so that no other file is ever
// overwritten, and with a short name, so that a target near the length limit still works.
BOOL CreateTemporaryBeside(const std::string& target, CFile& file, std::string& name);

// TRUE when the folder lists a file under the whole name of `target` (holding `size` bytes when
// given). A file system may keep a name it cannot hold under another while opening, moving and
// deleting by the whole name all reach that file.
BOOL ListedUnderWholeName(const std::string& target, const ULONGLONG* size = nullptr);
