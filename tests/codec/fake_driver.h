// A scriptable compression driver for the tests: it offers the formats it is given, fails
// where it is told to, produces a recognisable number of bytes per conversion, and records
// what it was asked.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/acm.h"

namespace testacm {

struct Script {
    std::vector<platform::AcmFormat> formats;
    bool convertsChannels = true;  // false: refuses 2 channels into 1
    bool refuseOpen = false;
    bool failSize = false;
    bool failPrepare = false;
    int failConvertCall = -1;              // the conversion (0-based) that fails
    std::vector<platform::DWORD> produce;  // bytes of conversion i; afterwards `bytes`
    platform::DWORD bytes = 100;
    platform::DWORD endBytes = 37;  // what the end flag adds

    // What the driver saw.
    platform::WAVEFORMATEX source{};
    std::vector<platform::BYTE> destination;
    std::vector<platform::DWORD> convertFlags;
    std::vector<platform::DWORD> convertLengths;
    std::vector<std::int16_t> firstBlock;
    platform::DWORD headerSize = 0;
    int prepared = 0;
    int unprepared = 0;
    int streamsClosed = 0;

    // The byte value conversion i fills its output with; the end flag's bytes are 0xEE.
    static platform::BYTE Fill(std::size_t call) { return static_cast<platform::BYTE>(call + 1); }
};

class FakeDriver : public platform::AcmDriver {
  public:
    FakeDriver(const char* name, std::shared_ptr<Script> script) : name_(name), script_(std::move(script)) {}
    std::string ShortName() const override { return name_; }
    const std::vector<platform::AcmFormat>& Formats() const override { return script_->formats; }
    platform::MMRESULT OpenStream(const platform::WAVEFORMATEX& source,
                                  const platform::WAVEFORMATEX& destination, platform::DWORD fdwOpen,
                                  std::unique_ptr<platform::AcmDriverStream>& stream) override;

  private:
    const char* name_;
    std::shared_ptr<Script> script_;
};

}  // namespace testacm
