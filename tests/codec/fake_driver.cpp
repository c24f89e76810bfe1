#include "tests/codec/fake_driver.h"

#include <algorithm>
#include <cstring>

using namespace platform;

namespace testacm {

namespace {

class FakeStream : public AcmDriverStream {
  public:
    explicit FakeStream(std::shared_ptr<Script> script) : script_(std::move(script)) {}
    ~FakeStream() override { ++script_->streamsClosed; }

    MMRESULT Size(DWORD cbInput, DWORD* pdwOutputBytes, DWORD) override {
        if (script_->failSize)
            return MMSYSERR_ERROR;
        *pdwOutputBytes = cbInput * 2 + 16;
        return MMSYSERR_NOERROR;
    }
    MMRESULT Prepare(ACMSTREAMHEADER& header) override {
        if (script_->failPrepare)
            return MMSYSERR_NOMEM;
        script_->headerSize = header.cbStruct;
        ++script_->prepared;
        return MMSYSERR_NOERROR;
    }
    MMRESULT Unprepare(ACMSTREAMHEADER&) override {
        ++script_->unprepared;
        return MMSYSERR_NOERROR;
    }
    MMRESULT Convert(ACMSTREAMHEADER& header, DWORD fdwConvert) override {
        const std::size_t call = script_->convertFlags.size();
        script_->convertFlags.push_back(fdwConvert);
        script_->convertLengths.push_back(header.cbSrcLength);
        if (call == 0) {
            script_->firstBlock.resize(header.cbSrcLength / 2);
            std::memcpy(script_->firstBlock.data(), header.pbSrc, header.cbSrcLength);
        }
        if (static_cast<int>(call) == script_->failConvertCall)
            return MMSYSERR_ERROR;
        DWORD n = call < script_->produce.size() ? script_->produce[call] : script_->bytes;
        if (fdwConvert & ACM_STREAMCONVERTF_END)
            n = header.cbSrcLength ? n : 0;
        n = std::min(n, header.cbDstLength);
        std::memset(header.pbDst, Script::Fill(call), n);
        if (fdwConvert & ACM_STREAMCONVERTF_END) {
            const DWORD tail = std::min(script_->endBytes, header.cbDstLength - n);
            std::memset(header.pbDst + n, 0xEE, tail);
            n += tail;
        }
        header.cbSrcLengthUsed = header.cbSrcLength;
        header.cbDstLengthUsed = n;
        return MMSYSERR_NOERROR;
    }

  private:
    std::shared_ptr<Script> script_;
};

}  // namespace

MMRESULT FakeDriver::OpenStream(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, DWORD fdwOpen,
                                std::unique_ptr<AcmDriverStream>& stream) {
    if (script_->refuseOpen || destination.wFormatTag != WAVE_FORMAT_MPEGLAYER3)
        return ACMERR_NOTPOSSIBLE;
    if (!script_->convertsChannels && source.nChannels != destination.nChannels)
        return ACMERR_NOTPOSSIBLE;
    const auto* bytes = reinterpret_cast<const BYTE*>(&destination);
    const std::vector<BYTE> wanted(bytes, bytes + sizeof(WAVEFORMATEX) + destination.cbSize);
    if (std::none_of(script_->formats.begin(), script_->formats.end(),
                     [&](const AcmFormat& f) { return f.bytes == wanted; }))
        return ACMERR_NOTPOSSIBLE;  // only what it offers
    script_->source = source;
    script_->destination = wanted;
    if (!(fdwOpen & ACM_STREAMOPENF_QUERY))
        stream = std::make_unique<FakeStream>(script_);
    return MMSYSERR_NOERROR;
}

}  // namespace testacm
