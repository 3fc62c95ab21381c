#pragma once

// Renames that never replace a file at the new name, on whatever file
// system the destination is. Each returns 0 or the system's error number,
// EEXIST when the name is taken.
namespace NoReplaceRename {

// In one step where the file system can (RENAME_NOREPLACE), else through a
// hard link, else by claiming the name first.
int move(const char* from, const char* to);

// For file systems with neither (exFAT through FUSE, MTP and SMB through
// gvfs): an empty file made at the name claims it, since only one can make
// it, and the rename then replaces that placeholder.
int claimThenMove(const char* from, const char* to);

} // namespace NoReplaceRename
