// The private profile: an INI file read and written by section and key with Win32 semantics.
//
// Section and key names compare case-insensitively. Reading an int skips leading blanks,
// takes an optional sign and the leading digits; a missing key gives the default, a present
// value without digits gives 0. Strings are stored as they are. Lines end in LF when written;
// CRLF and LF both read.
//
// A write replaces values in place or appends them and keeps every other line. It takes an
// advisory lock on a lock file beside the profile, reads the profile afresh, and reaches the
// disk through a temporary file in the same folder renamed over the profile, so that a crash
// never leaves half a profile and two programs writing at once never lose each other's keys.
// A profile that is a symbolic link is written through to the file it names, with that file's
// mode; a read-only profile, or one that cannot be read, is never written.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};

class Profile {
  public:
    explicit Profile(std::string path);

    // $VELTO_PROFILE when set, otherwise $XDG_CONFIG_HOME/Velto.INI, otherwise
    // <home folder>/.config/Velto.INI.
    static std::string DefaultPath();

    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // False when the profile could not be written; the file on disk is then unchanged and
    // LastError says why.
    bool WriteInt(const std::string& section, const std::string& key, int value);
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    // All entries in one read-modify-write under the lock: one rename.
    bool Write(const std::vector<ProfileEntry>& entries);

    // Empty when the profile can be read or does not exist; otherwise why it cannot be read
    // ("Permission denied", "it is not a regular file", ...).
    std::string ReadProblem() const;
    // Why the last write failed.
    const std::string& LastError() const { return lastError_; }

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string lastError_;
};

// The integer a profile value reads as: leading blanks, optional sign, leading digits; 0 when
// there are no digits. Values beyond the range of int are clamped.
int ParseProfileInt(const std::string& value);

// The user's home folder: $HOME, otherwise the password database's entry, never the current
// folder. Without either, "/".
std::string HomeFolder();

}  // namespace platform
