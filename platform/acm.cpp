#include "platform/acm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

// The handles are the manager's own records.
struct platform::ACMDRIVERID_ {
    std::shared_ptr<AcmDriver> driver;
};

struct platform::ACMSTREAM_ {
    struct PreparedHeader {
        ACMSTREAMHEADER* header;
        DWORD srcLength;
        DWORD dstLength;
    };
    // Shared, so that a driver unregistered while a stream of it is open lives on until the
    // stream closes.
    std::shared_ptr<AcmDriver> driver;
    std::unique_ptr<AcmDriverStream> stream;
    std::vector<PreparedHeader> prepared;

    PreparedHeader* Find(const ACMSTREAMHEADER* header) {
        for (auto& p : prepared)
            if (p.header == header) return &p;
        return nullptr;
    }
};

namespace platform {

namespace {

// The manager's tables. Enumeration callbacks call back into the manager (driver details
// while enumerating drivers), hence the recursive lock; conversions run outside it.
class AcmManager {
  public:
    // Drivers registered by other statics unregister when those are destroyed at exit, in
    // an order nobody controls, so the manager itself is never destroyed.
    static AcmManager& Instance() {
        alignas(AcmManager) static unsigned char storage[sizeof(AcmManager)];
        static AcmManager* const manager = ::new (storage) AcmManager();
        return *manager;
    }

    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<ACMDRIVERID_>> drivers;
    std::vector<std::unique_ptr<ACMSTREAM_>> streams;

    bool IsDriver(HACMDRIVERID id) const {
        return id &&
               std::any_of(drivers.begin(), drivers.end(), [id](const auto& d) { return d.get() == id; });
    }
    ACMSTREAM_* FindStream(HACMSTREAM has) {
        std::lock_guard lock(mutex);
        for (auto& s : streams)
            if (s.get() == has) return s.get();
        return nullptr;
    }
    // A copy, so that a callback may register or unregister drivers without upsetting the walk.
    std::vector<HACMDRIVERID> DriverIds() const {
        std::vector<HACMDRIVERID> ids;
        for (const auto& d : drivers)
            ids.push_back(d.get());
        return ids;
    }
};

// Writes as much of a record as its caller's cbStruct holds, and tells how much that was.
template <typename Record>
void CopyRecordOut(const Record& full, Record* out) {
    const DWORD size = std::min<DWORD>(out->cbStruct, sizeof(Record));
    std::memcpy(out, &full, size);
    out->cbStruct = size;
}

void CopyText(char* to, std::size_t capacity, const std::string& text) {
    std::snprintf(to, capacity, "%s", text.c_str());
}

// The largest format any registered driver enumerates; a plain WAVEFORMATEX at least, as the
// PCM formats every system knows need that much.
DWORD MaxFormatSize(const AcmManager& manager) {
    DWORD size = sizeof(WAVEFORMATEX);
    for (const auto& d : manager.drivers)
        for (const auto& f : d->driver->Formats())
            size = std::max<DWORD>(size, static_cast<DWORD>(f.bytes.size()));
    return size;
}

bool ValidFormatRecord(const AcmFormat& format) {
    return format.bytes.size() >= sizeof(WAVEFORMATEX) &&
           format.bytes.size() == sizeof(WAVEFORMATEX) + format.Header().cbSize;
}

// Offers every format of one driver that passes the filter; false when the callback asked to
// stop.
bool EnumerateDriverFormats(HACMDRIVERID id, ACMFORMATDETAILS* pafd, ACMFORMATENUMCB fnCallback,
                            DWORD_PTR dwInstance, DWORD fdwEnum, WORD wantedTag) {
    const auto& formats = id->driver->Formats();
    DWORD index = 0;
    for (const auto& format : formats) {
        if (!ValidFormatRecord(format)) continue;  // a malformed record is never handed out
        const WAVEFORMATEX& header = format.Header();
        if ((fdwEnum & ACM_FORMATENUMF_WFORMATTAG) && header.wFormatTag != wantedTag) continue;
        if (format.bytes.size() > pafd->cbwfx) continue;  // does not fit the caller's buffer
        pafd->dwFormatIndex = index++;
        pafd->dwFormatTag = header.wFormatTag;
        pafd->fdwSupport = ACMFORMATDETAILS_SUPPORTF_CODEC;
        // The name gets what of szFormat lies inside the caller's cbStruct.
        const std::size_t room = std::min<std::size_t>(pafd->cbStruct - offsetof(ACMFORMATDETAILS, szFormat),
                                                       sizeof pafd->szFormat);
        if (room > 0) CopyText(pafd->szFormat, room, format.name);
        std::memcpy(pafd->pwfx, format.bytes.data(), format.bytes.size());
        if (!fnCallback(id, pafd, dwInstance, ACMDRIVERDETAILS_SUPPORTF_CODEC)) return false;
    }
    return true;
}

bool ValidPcm(const WAVEFORMATEX& f) {
    return f.wFormatTag != WAVE_FORMAT_PCM ||
           (f.nChannels > 0 && f.wBitsPerSample > 0 && f.wBitsPerSample % 8 == 0 &&
            f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 && f.nSamplesPerSec > 0 &&
            f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign);
}

bool HeaderSizeValid(const ACMSTREAMHEADER* pash) {
    return pash && pash->cbStruct >= offsetof(ACMSTREAMHEADER, dwReservedDriver);
}

}  // namespace

AcmFormat MakeMpegLayer3Format(int sampleRate, int channels, int kbps, WORD codecDelay) {
    MPEGLAYER3WAVEFORMAT f{};
    f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    f.wfx.nChannels = static_cast<WORD>(channels);
    f.wfx.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    f.wfx.nAvgBytesPerSec = static_cast<DWORD>(kbps * 125);
    f.wfx.nBlockAlign = 1;
    f.wfx.wBitsPerSample = 0;
    f.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    f.wID = MPEGLAYER3_ID_MPEG;
    f.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    f.nBlockSize = static_cast<WORD>(144000 * kbps / sampleRate);  // an unpadded MPEG-1 frame
    f.nFramesPerBlock = 1;
    f.nCodecDelay = codecDelay;

    AcmFormat format;
    const auto* bytes = reinterpret_cast<const BYTE*>(&f);
    format.bytes.assign(bytes, bytes + sizeof f);
    char name[64];
    std::snprintf(name, sizeof name, "%d kBit/s, %d Hz, %s", kbps, sampleRate,
                  channels == 1 ? "Mono" : "Stereo");
    format.name = name;
    return format;
}

AcmDriverRegistration::AcmDriverRegistration(std::shared_ptr<AcmDriver> driver) {
    if (!driver) return;
    auto& manager = AcmManager::Instance();
    std::lock_guard lock(manager.mutex);
    manager.drivers.push_back(std::make_unique<ACMDRIVERID_>(ACMDRIVERID_{std::move(driver)}));
    id_ = manager.drivers.back().get();
}

AcmDriverRegistration::~AcmDriverRegistration() {
    Reset();
}

AcmDriverRegistration::AcmDriverRegistration(AcmDriverRegistration&& other) noexcept
    : id_(std::exchange(other.id_, nullptr)) {}

AcmDriverRegistration& AcmDriverRegistration::operator=(AcmDriverRegistration&& other) noexcept {
    if (this != &other) {
        Reset();
        id_ = std::exchange(other.id_, nullptr);
    }
    return *this;
}

void AcmDriverRegistration::Reset() {
    if (!id_) return;
    auto& manager = AcmManager::Instance();
    std::lock_guard lock(manager.mutex);
    std::erase_if(manager.drivers, [this](const auto& d) { return d.get() == id_; });
    id_ = nullptr;
}

MMRESULT acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD fdwEnum) {
    if (!fnCallback) return MMSYSERR_INVALPARAM;
    if (fdwEnum & ~(ACM_DRIVERENUMF_NOLOCAL | ACM_DRIVERENUMF_DISABLED)) return MMSYSERR_INVALFLAG;
    auto& manager = AcmManager::Instance();
    std::lock_guard lock(manager.mutex);
    for (HACMDRIVERID id : manager.DriverIds()) {
        if (!manager.IsDriver(id)) continue;  // unregistered by an earlier callback
        if (!fnCallback(id, dwInstance, ACMDRIVERDETAILS_SUPPORTF_CODEC)) break;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverDetails(HACMDRIVERID hadid, ACMDRIVERDETAILS* padd, DWORD fdwDetails) {
    if (!padd || padd->cbStruct < offsetof(ACMDRIVERDETAILS, szLongName)) return MMSYSERR_INVALPARAM;
    if (fdwDetails != 0) return MMSYSERR_INVALFLAG;
    auto& manager = AcmManager::Instance();
    std::lock_guard lock(manager.mutex);
    if (!manager.IsDriver(hadid)) return MMSYSERR_INVALHANDLE;
    ACMDRIVERDETAILS full{};
    full.cbStruct = sizeof full;
    full.fccType = 0x63647561;  // 'audc'
    full.fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    full.cFormatTags = 2;  // PCM in, the driver's format out
    CopyText(full.szShortName, sizeof full.szShortName, hadid->driver->ShortName());
    CopyText(full.szLongName, sizeof full.szLongName, hadid->driver->LongName());
    CopyRecordOut(full, padd);
    return MMSYSERR_NOERROR;
}

MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric) {
    if (!pMetric) return MMSYSERR_INVALPARAM;
    if (hao) return MMSYSERR_NOTSUPPORTED;  // metrics of a single driver or stream are not offered
    auto& manager = AcmManager::Instance();
    std::lock_guard lock(manager.mutex);
    DWORD value = 0;
    switch (uMetric) {
        case ACM_METRIC_MAX_SIZE_FORMAT:
            value = MaxFormatSize(manager);
            break;
        case ACM_METRIC_COUNT_DRIVERS:
            value = static_cast<DWORD>(manager.drivers.size());
            break;
        default:
            return MMSYSERR_NOTSUPPORTED;
    }
    std::memcpy(pMetric, &value, sizeof value);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatEnum(HACMDRIVER had, ACMFORMATDETAILS* pafd, ACMFORMATENUMCB fnCallback,
                       DWORD_PTR dwInstance, DWORD fdwEnum) {
    if (!pafd || !fnCallback || !pafd->pwfx || pafd->cbStruct < offsetof(ACMFORMATDETAILS, szFormat) ||
        pafd->cbwfx < sizeof(WAVEFORMATEX))
        return MMSYSERR_INVALPARAM;
    if (fdwEnum & ~ACM_FORMATENUMF_WFORMATTAG)
        return MMSYSERR_INVALFLAG;         // the other filters are not offered
    if (had) return MMSYSERR_INVALHANDLE;  // drivers are not opened one by one here
    const WORD wantedTag = pafd->pwfx->wFormatTag;
    auto& manager = AcmManager::Instance();
    std::lock_guard lock(manager.mutex);
    for (HACMDRIVERID id : manager.DriverIds()) {
        if (!manager.IsDriver(id)) continue;
        if (!EnumerateDriverFormats(id, pafd, fnCallback, dwInstance, fdwEnum, wantedTag)) break;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                       void* pwfltr, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen) {
    const bool query = fdwOpen & ACM_STREAMOPENF_QUERY;
    if (phas) *phas = nullptr;
    if ((!phas && !query) || !pwfxSrc || !pwfxDst || pwfltr || dwCallback || dwInstance)
        return MMSYSERR_INVALPARAM;
    if (fdwOpen & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME)) return MMSYSERR_INVALFLAG;
    if (had) return MMSYSERR_INVALHANDLE;
    if (!ValidPcm(*pwfxSrc) || !ValidPcm(*pwfxDst)) return MMSYSERR_INVALPARAM;
    auto& manager = AcmManager::Instance();
    std::lock_guard lock(manager.mutex);
    for (HACMDRIVERID id : manager.DriverIds()) {
        std::unique_ptr<AcmDriverStream> stream;
        if (id->driver->OpenStream(*pwfxSrc, *pwfxDst, fdwOpen, stream) != MMSYSERR_NOERROR) continue;
        if (query) return MMSYSERR_NOERROR;
        if (!stream) continue;  // a driver that accepted but gave nothing to convert with
        manager.streams.push_back(std::make_unique<ACMSTREAM_>());
        ACMSTREAM_& opened = *manager.streams.back();
        opened.driver = id->driver;
        opened.stream = std::move(stream);
        *phas = &opened;
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize) {
    if (!pdwOutputBytes) return MMSYSERR_INVALPARAM;
    if (fdwSize != ACM_STREAMSIZEF_SOURCE && fdwSize != ACM_STREAMSIZEF_DESTINATION)
        return MMSYSERR_INVALFLAG;
    ACMSTREAM_* stream = AcmManager::Instance().FindStream(has);
    if (!stream) return MMSYSERR_INVALHANDLE;
    return stream->stream->Size(cbInput, pdwOutputBytes, fdwSize);
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwPrepare) {
    if (!HeaderSizeValid(pash) || !pash->pbSrc || !pash->pbDst) return MMSYSERR_INVALPARAM;
    if (fdwPrepare != 0) return MMSYSERR_INVALFLAG;
    ACMSTREAM_* stream = AcmManager::Instance().FindStream(has);
    if (!stream) return MMSYSERR_INVALHANDLE;
    if (stream->Find(pash)) return MMSYSERR_NOERROR;  // already prepared: nothing to do, as Win32 answers
    if (MMRESULT r = stream->stream->Prepare(*pash); r != MMSYSERR_NOERROR) return r;
    stream->prepared.push_back({pash, pash->cbSrcLength, pash->cbDstLength});
    pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwConvert) {
    if (!HeaderSizeValid(pash)) return MMSYSERR_INVALPARAM;
    if (fdwConvert & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
        return MMSYSERR_INVALFLAG;
    ACMSTREAM_* stream = AcmManager::Instance().FindStream(has);
    if (!stream) return MMSYSERR_INVALHANDLE;
    const auto* prepared = stream->Find(pash);
    if (!prepared) return ACMERR_UNPREPARED;
    // A header may carry less than it was prepared with, never more.
    if (pash->cbSrcLength > prepared->srcLength || pash->cbDstLength > prepared->dstLength)
        return MMSYSERR_INVALPARAM;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    pash->cbSrcLengthUsed = 0;
    pash->cbDstLengthUsed = 0;
    MMRESULT r = stream->stream->Convert(*pash, fdwConvert);
    if (r == MMSYSERR_NOERROR &&
        (pash->cbSrcLengthUsed > pash->cbSrcLength || pash->cbDstLengthUsed > pash->cbDstLength)) {
        pash->cbSrcLengthUsed = 0;
        pash->cbDstLengthUsed = 0;
        r = MMSYSERR_ERROR;  // a driver that claims more than the buffers hold
    }
    pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return r;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwUnprepare) {
    if (!HeaderSizeValid(pash)) return MMSYSERR_INVALPARAM;
    if (fdwUnprepare != 0) return MMSYSERR_INVALFLAG;
    ACMSTREAM_* stream = AcmManager::Instance().FindStream(has);
    if (!stream) return MMSYSERR_INVALHANDLE;
    const auto* prepared = stream->Find(pash);
    if (!prepared) return ACMERR_UNPREPARED;
    // The lengths must be those the header was prepared with, as Win32 requires.
    if (pash->cbSrcLength != prepared->srcLength || pash->cbDstLength != prepared->dstLength)
        return MMSYSERR_INVALPARAM;
    stream->stream->Unprepare(*pash);
    std::erase_if(stream->prepared, [pash](const auto& p) { return p.header == pash; });
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose) {
    if (fdwClose != 0) return MMSYSERR_INVALFLAG;
    auto& manager = AcmManager::Instance();
    std::unique_ptr<ACMSTREAM_> closing;
    {
        std::lock_guard lock(manager.mutex);
        auto it = std::find_if(manager.streams.begin(), manager.streams.end(),
                               [has](const auto& s) { return s.get() == has; });
        if (it == manager.streams.end()) return MMSYSERR_INVALHANDLE;
        closing = std::move(*it);
        manager.streams.erase(it);
    }
    return MMSYSERR_NOERROR;  // the driver's stream ends outside the lock
}

}  // namespace platform
