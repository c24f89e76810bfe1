// The names of a large batch: read from lists as they stream in, put in one order that every
// worker given the same lists agrees on, shared out among workers, and sorted into those an
// earlier run already encoded and those left to do.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/file_outcome.h"

namespace worklist {

// One name a line (blank lines and lines that begin with '#' are skipped, a line's closing CR
// is dropped), or names ended by NUL bytes as `find -print0` writes them (only empty names
// are skipped: such a name may hold any other byte, newlines included).
enum class Separator { kLine, kNul };

// Hands every name of `in` to `take` as it is read, so that a long list is never held twice.
// Returns an empty string, or why the list cannot be used: a read error, or a line holding a
// NUL byte, which would name another file than the line says.
std::string ReadNames(std::FILE* in, Separator separator, const std::function<void(std::string&&)>& take);

// Shard K of N: the names whose position in the sorted list is K-1 modulo N.
struct Shard {
    int index = 1;  // K, 1..count
    int count = 1;  // N
};

// "K/N" with whole numbers 1 <= K <= N; nothing for any other text.
std::optional<Shard> ParseShard(std::string_view text);

// Sorts the names, drops repeated ones and keeps the shard's, in sorted order. Returns how
// many distinct names there were.
std::size_t SortUniqueAndSelect(std::vector<std::string>& names, Shard shard);

// True when `output` is a regular file modified later than `input`: the work of an earlier
// run, as outputs only get their final name once they are complete.
bool OutputIsNewer(const std::string& input, const std::string& output);

// Takes out the names whose output (by outputFor) is newer than them, telling `done` of each,
// and keeps the others in their order.
void TakeOutAlreadyDone(std::vector<std::string>& names,
                        const std::function<std::string(const std::string&)>& outputFor,
                        const std::function<void(const std::string& input, const std::string& output)>& done);

// When resuming, an output cut short by a stop must not pass for done on the next run: the
// short output of a stopped file, when it is newer than its input (it was this run's), is
// removed and the file counts as skipped. True when that was done.
bool ForgetStoppedOutput(FileOutcome& outcome);

}  // namespace worklist
