// The encoder that converts WAV input through the installed MP3 codec driver of the audio
// compression manager, writing nothing but the bytes the codec produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job/encoder.h"
#include "layer3/audio_reader.h"
#include "platform/acm.h"
#include "platform/file.h"
#include "tags/mp3_decoration.h"

class CCodecEncoder : public CEncoder {
  public:
    CCodecEncoder() = default;
    ~CCodecEncoder() override;

    // Whether a driver with exactly this short name (case-sensitive) is registered.
    static bool IsCodecInstalled(const std::string& driverName);
    // Whether some driver offers MPEG Layer-3 at this rate, bit rate and channel count.
    bool CanEncode(int sampleRate, int kbps, bool mono) const;

    void Close() override;
    // The count of blocks written so far for this file (unchanged when the codec held a block
    // back), or -1 at the end of the input or after a failure.
    int EncodeStep() override;
    int Open(EncodingSettings& settings, const std::string& inputPath,
             const std::string& outputPath) override;

  private:
    static constexpr int kDefaultPcmBlockSize = 4608;

    // Fills format with the first enumerated MPEG Layer-3 format whose WAVEFORMATEX equals
    // the one asked for; false (and format emptied) when there is none.
    static bool ChooseFormat(int sampleRate, int kbps, bool mono, std::vector<platform::BYTE>& format);

    void SetFrameParameters(EncodingSettings& settings) const;
    bool OpenConversion();
    bool PrepareBuffers();
    // Shows why Open failed after the output was created, and closes that output without
    // letting it replace an earlier file.
    int AbandonOpen(const char* text);
    // Writes the tag and reserves the Info frame the settings ask for.
    bool BeginDecoration(const std::string& inputPath);
    // The delay to store in the Info frame, from the codec delay the chosen format tells.
    int StoredDelay() const;
    int FinishConversion();
    bool WriteConverted();
    void ReportWriteFailure();
    void Release();

    EncodingSettings* settings_ = nullptr;
    layer3::CAudioReader reader_;
    int pcmBlockSize_ = kDefaultPcmBlockSize;
    platform::DWORD encodedBlockSize_ = 0;
    std::vector<std::int16_t> source_;
    std::vector<platform::BYTE> destination_;
    platform::HACMSTREAM stream_ = nullptr;
    platform::ACMSTREAMHEADER header_{};
    bool headerPrepared_ = false;
    platform::OutputFile output_;
    tags::Mp3Decoration decoration_;
    std::int64_t samplesRead_ = 0;   // per channel
    bool writeFailed_ = false;       // "Error writing to file" already shown for this file
    bool conversionFailed_ = false;  // the codec refused a block: the file ends early
    bool ended_ = false;             // the final conversion has run
    platform::WAVEFORMATEX sourceFormat_{};
    std::vector<platform::BYTE> destinationFormat_;
};
