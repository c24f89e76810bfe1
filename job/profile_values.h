// Every value the profile holds, with its section, key and default, and the reads and writes
// the pages, Go and the main window make of them. Nothing else names a profile key.
#pragma once

#include <string>
#include <vector>

#include "platform/profile.h"

namespace profile {

struct IntValue {
    const char* section;
    const char* key;
    int defaultValue;
};

struct StringValue {
    const char* section;
    const char* key;
};

inline constexpr IntValue kAlertWhenDone{"Settings", "AlertWhenDone", 0};
inline constexpr IntValue kCopyright{"Settings", "Copyright", 0};
inline constexpr IntValue kMono{"Settings", "Mono", 0};
inline constexpr IntValue kOriginal{"Settings", "Original", 0};
inline constexpr IntValue kBitrate{"Settings", "Bitrate", 8};
inline constexpr IntValue kDeemphasis{"Settings", "Deemphasis", 0};
inline constexpr IntValue kEncodingMode{"Settings", "EncodingMode", 1};
// Its default is 1 when the codec was found at start-up: see ReadSettings.
inline constexpr IntValue kUseCodec{"Settings", "UseCodec", 0};
// What an MP3 carries besides its frames: the Info header frame, the ID3v2 tag, ReplayGain.
inline constexpr IntValue kInfoHeader{"Settings", "InfoHeader", 1};
inline constexpr IntValue kTags{"Settings", "Tags", 1};
inline constexpr IntValue kReplayGain{"Settings", "ReplayGain", 1};
inline constexpr IntValue kDontErase{"AudioCD", "DontErase", 0};
inline constexpr IntValue kDontEncode{"AudioCD", "DontEncode", 0};
inline constexpr IntValue kDaeSpeed{"AudioCD", "DaeSpeed", 50};
inline constexpr IntValue kDaeMode{"DAE", "Mode", 0};
inline constexpr IntValue kNSectors{"DAE", "nsectors", 26};
inline constexpr IntValue kSynchSectors{"DAE", "synchsectors", 3};
inline constexpr StringValue kExtractedWavsFolder{"Folders", "ExtractedWavsFolder"};
inline constexpr StringValue kLastFolder{"Folders", "LastFolder"};
// The Files list between runs: "Count", then "File1" to "File<Count>".
inline constexpr IntValue kFileCount{"Files", "Count", 0};
inline constexpr const char* kFilesSection = "Files";
// The main window's place and size; a width of 0 says none was kept.
inline constexpr IntValue kWindowLeft{"Window", "Left", 0};
inline constexpr IntValue kWindowTop{"Window", "Top", 0};
inline constexpr IntValue kWindowWidth{"Window", "Width", 0};
inline constexpr IntValue kWindowHeight{"Window", "Height", 0};
// Read with its own default, "Track %02d", not the folders' one.
inline constexpr StringValue kTrackNameTemplate{"Folders", "TrackNameTemplate"};

// The ranges of the values that index a fixed list or a spin control: a stored value outside
// its range is read as the value's default.
inline constexpr int kBitrateComboEntries = 14;  // "32 Kbps" .. "320 Kbps"
inline constexpr int kDeemphasisComboEntries = 3;
inline constexpr int kEncodingModeComboEntries = 4;
inline constexpr int kDaeModes = 3;
inline constexpr int kNSectorsLow = 1, kNSectorsHigh = 27;
inline constexpr int kSynchSectorsLow = 1, kSynchSectorsHigh = 10;

// The default of both folders: the user's home folder followed by '/'.
std::string DefaultFolder();

// The application's profile: the four operations on the file the platform names.
class AppProfile {
  public:
    AppProfile();  // the default profile path
    explicit AppProfile(std::string path);

    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;
    bool WriteInt(const std::string& section, const std::string& key, int value);
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

    int Read(const IntValue& v) const { return ReadInt(v.section, v.key, v.defaultValue); }
    // The value when it lies in low..high, otherwise its default.
    int ReadInRange(const IntValue& v, int low, int high) const {
        const int n = Read(v);
        return n >= low && n <= high ? n : v.defaultValue;
    }
    bool Write(const IntValue& v, int value) { return WriteInt(v.section, v.key, value); }
    std::string Read(const StringValue& v) const { return ReadString(v.section, v.key, DefaultFolder()); }
    bool Write(const StringValue& v, const std::string& value) {
        return WriteString(v.section, v.key, value);
    }

    const std::string& Path() const { return file_.Path(); }

    // Why the profile could not be read when this object was made, or empty. A profile that
    // could not be read then is never written: its sections would be lost.
    const std::string& ReadProblem() const { return readProblem_; }
    // From here until Commit, writes are collected (and read back) instead of written.
    void HoldWrites() { holding_ = true; }
    // Writes what was collected in one locked read-modify-write. False, with LastError
    // saying why, when it could not be written.
    bool Commit();
    const std::string& LastError() const { return lastError_; }

  private:
    const platform::ProfileEntry* Pending(const std::string& section, const std::string& key) const;
    bool Write(platform::ProfileEntry entry);

    platform::Profile file_;
    std::string readProblem_;
    std::string lastError_;
    bool holding_ = false;
    std::vector<platform::ProfileEntry> pending_;
};

// The "Settings" section as the Settings page and Go read it.
struct SettingsValues {
    int alertWhenDone = 0;
    int copyright = 0;
    int mono = 0;
    int original = 0;
    int bitrate = 8;       // combo index
    int deemphasis = 0;    // combo index
    int encodingMode = 1;  // combo index
    int useCodec = 0;
    int infoHeader = 1;
    int tags = 1;
    int replayGain = 1;
};
// UseCodec defaults to 1 when the codec was found and reads as 0 whenever it is missing. A
// combo index outside its list reads as its default.
SettingsValues ReadSettings(const AppProfile& p, bool codecFound);
bool WriteSettings(AppProfile& p, const SettingsValues& v);

// The "DAE" section; a mode or sector count outside its range reads as its default.
struct DaeValues {
    int mode = 0;
    int nsectors = 26;
    int synchsectors = 3;
};
DaeValues ReadDae(const AppProfile& p);
bool WriteDae(AppProfile& p, const DaeValues& v);

// What the Audio CD page reads.
struct AudioCdValues {
    std::string extractedWavsFolder;
    int dontErase = 0;
    int dontEncode = 0;
    // How extracted tracks are named: see TrackFileStem.
    std::string trackNameTemplate = "Track %02d";
};
AudioCdValues ReadAudioCd(const AppProfile& p);
bool WriteAudioCd(AppProfile& p, const AudioCdValues& v);

// The last extraction speed multiple ("DaeSpeed" is the multiple x 10), held as a float.
float ReadDaeSpeed(const AppProfile& p);
// Written as the nearest integer of the multiple x 10, so a value read and written unchanged
// stays what it was.
bool WriteDaeSpeed(AppProfile& p, float speedMultiple);

// The Files list as the last run left it, in list order.
std::vector<std::string> ReadFileList(const AppProfile& p);
bool WriteFileList(AppProfile& p, const std::vector<std::string>& paths);

struct WindowGeometry {
    int left = 0, top = 0;      // the frame's top-left corner
    int width = 0, height = 0;  // the inside; 0 when none was kept
};
WindowGeometry ReadWindow(const AppProfile& p);
bool WriteWindow(AppProfile& p, const WindowGeometry& g);

}  // namespace profile
