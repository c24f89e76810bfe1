// The private profile: an INI file read and written by section and key with Win32 semantics.
//
// Section and key names compare case-insensitively. Reading an int skips leading blanks,
// takes an optional sign and the leading digits; a missing key gives the default, a present
// value without digits gives 0. Strings are stored as they are. A write replaces the value in
// place or appends it, keeps every other line, and reaches the disk through a temporary file
// in the same folder renamed over the profile, so a crash never leaves half a profile.
#pragma once

#include <string>

namespace platform {

class Profile {
  public:
    explicit Profile(std::string path);

    // $VELTO_PROFILE when set, otherwise $XDG_CONFIG_HOME/Velto.INI, otherwise
    // ~/.config/Velto.INI.
    static std::string DefaultPath();

    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // False when the profile could not be written; the file on disk is then unchanged.
    bool WriteInt(const std::string& section, const std::string& key, int value);
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The integer a profile value reads as: leading blanks, optional sign, leading digits; 0 when
// there are no digits. Values beyond the range of int are clamped.
int ParseProfileInt(const std::string& value);

}  // namespace platform
