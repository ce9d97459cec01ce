#pragma once
// Moving one range of a file's bytes into its copy, hashed on the way: by
// plain reads and writes, or by the kernel with the copy's bytes hashed as
// they land.

#include "minicmd/FileCopy.h"

#include <sys/types.h>

namespace tarvik::minicmd {

class ContentHash;

// Given as the reason when a signal stopped the copy.
inline constexpr const char* kInterrupted = "the run was interrupted";

// Bytes [offset, end) of `from` to the same place in `to` by read and write;
// with `end` negative, up to the end of the file, telling `reached` where
// that was.
CopyFailure copyByReading(int from, int to, off_t offset, off_t end, const CopyProgress& progress,
                          ContentHash* hash, off_t* reached = nullptr);

// Bytes [offset, end) by the kernel where it can (sharing extents where the
// file system can), stopping early when the file shrank meanwhile; else by
// read and write.
CopyFailure copyRange(int from, int to, off_t offset, off_t end, const CopyProgress& progress,
                      ContentHash* hash);

// Asks the kernel to start reading the first `size` bytes of `from`, a file
// about to be handed to a copy, while the copies' reads have lately had to
// wait for the disk: the reads of the files handed over next then overlap
// with those under way, rather than each waiting its turn. While every read
// finds its bytes in memory nothing is asked, as each request is a call.
void readAheadWhileUncached(int from, off_t size);

} // namespace tarvik::minicmd
