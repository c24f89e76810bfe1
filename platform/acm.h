// The audio compression manager: an in-process driver manager with the calls, records and
// result codes of the Win32 ACM that the codec encoder uses. Drivers register with the
// manager (the system's MP3 codec at start-up, tests their own); enumeration runs over the
// drivers in registration order and a stream is opened by the first driver that accepts it.
//
// WAVEFORMATEX and MPEGLAYER3WAVEFORMAT have their published byte layouts (packed,
// little-endian): 18 bytes, and 18 + 12 bytes. The other records keep their published field
// order; their cbStruct members are checked as Win32 does: a record must be large enough for
// its public fields, and only what fits in cbStruct is written.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

static_assert(std::endian::native == std::endian::little,
              "the wave format records are stored in the host's byte order");

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using BOOL = int;
using UINT = unsigned;
using MMRESULT = UINT;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_BUSY = 513;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

inline constexpr WORD WAVE_FORMAT_PCM = 0x0001;
inline constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;  // bytes of format-specific data that follow
};

inline constexpr WORD MPEGLAYER3_WFX_EXTRA_BYTES = 12;
inline constexpr WORD MPEGLAYER3_ID_MPEG = 1;
inline constexpr DWORD MPEGLAYER3_FLAG_PADDING_ISO = 0x00000000;
inline constexpr DWORD MPEGLAYER3_FLAG_PADDING_ON = 0x00000001;
inline constexpr DWORD MPEGLAYER3_FLAG_PADDING_OFF = 0x00000002;

struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD wID;
    DWORD fdwFlags;
    WORD nBlockSize;
    WORD nFramesPerBlock;
    WORD nCodecDelay;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 18 + MPEGLAYER3_WFX_EXTRA_BYTES);

struct ACMDRIVERID_;
struct ACMDRIVER_;
struct ACMSTREAM_;
using HACMDRIVERID = ACMDRIVERID_*;
using HACMDRIVER = ACMDRIVER_*;
using HACMSTREAM = ACMSTREAM_*;
using HACMOBJ = void*;

inline constexpr int ACMDRIVERDETAILS_SHORTNAME_CHARS = 32;
inline constexpr int ACMDRIVERDETAILS_LONGNAME_CHARS = 128;
inline constexpr int ACMDRIVERDETAILS_COPYRIGHT_CHARS = 80;
inline constexpr int ACMDRIVERDETAILS_LICENSING_CHARS = 128;
inline constexpr int ACMDRIVERDETAILS_FEATURES_CHARS = 512;
inline constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;

struct ACMDRIVERDETAILS {
    DWORD cbStruct;
    DWORD fccType;
    DWORD fccComp;
    WORD wMid;
    WORD wPid;
    DWORD vdwACM;
    DWORD vdwDriver;
    DWORD fdwSupport;
    DWORD cFormatTags;
    DWORD cFilterTags;
    void* hicon;
    char szShortName[ACMDRIVERDETAILS_SHORTNAME_CHARS];
    char szLongName[ACMDRIVERDETAILS_LONGNAME_CHARS];
    char szCopyright[ACMDRIVERDETAILS_COPYRIGHT_CHARS];
    char szLicensing[ACMDRIVERDETAILS_LICENSING_CHARS];
    char szFeatures[ACMDRIVERDETAILS_FEATURES_CHARS];
};

inline constexpr int ACMFORMATDETAILS_FORMAT_CHARS = 128;

struct ACMFORMATDETAILS {
    DWORD cbStruct;
    DWORD dwFormatIndex;
    DWORD dwFormatTag;
    DWORD fdwSupport;
    WAVEFORMATEX* pwfx;  // the caller's buffer, cbwfx bytes, receiving each format
    DWORD cbwfx;
    char szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
};

inline constexpr DWORD ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr DWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
inline constexpr DWORD ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

struct ACMSTREAMHEADER {
    DWORD cbStruct;
    DWORD fdwStatus;
    DWORD_PTR dwUser;
    BYTE* pbSrc;
    DWORD cbSrcLength;
    DWORD cbSrcLengthUsed;
    DWORD_PTR dwSrcUser;
    BYTE* pbDst;
    DWORD cbDstLength;
    DWORD cbDstLengthUsed;
    DWORD_PTR dwDstUser;
    DWORD dwReservedDriver[10];
};

// The record sizes of the published 32-bit interface, which callers written for it pass in
// cbStruct. Both cover every public field of this layout.
inline constexpr DWORD kAcmFormatDetailsPublishedSize = 152;
inline constexpr DWORD kAcmStreamHeaderPublishedSize = 84;

// acmMetrics
inline constexpr UINT ACM_METRIC_COUNT_DRIVERS = 1;
inline constexpr UINT ACM_METRIC_MAX_SIZE_FORMAT = 50;
// acmDriverEnum
inline constexpr DWORD ACM_DRIVERENUMF_NOLOCAL = 0x40000000;
inline constexpr DWORD ACM_DRIVERENUMF_DISABLED = 0x80000000;
// acmFormatEnum
inline constexpr DWORD ACM_FORMATENUMF_WFORMATTAG = 0x00010000;
inline constexpr DWORD ACMFORMATDETAILS_SUPPORTF_CODEC = 0x00000001;
// acmStreamOpen
inline constexpr DWORD ACM_STREAMOPENF_QUERY = 0x00000001;
inline constexpr DWORD ACM_STREAMOPENF_NONREALTIME = 0x00000004;
// acmStreamSize
inline constexpr DWORD ACM_STREAMSIZEF_SOURCE = 0x00000000;
inline constexpr DWORD ACM_STREAMSIZEF_DESTINATION = 0x00000001;
// acmStreamConvert
inline constexpr DWORD ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
inline constexpr DWORD ACM_STREAMCONVERTF_START = 0x00000010;
inline constexpr DWORD ACM_STREAMCONVERTF_END = 0x00000020;

using ACMDRIVERENUMCB = BOOL (*)(HACMDRIVERID hadid, DWORD_PTR dwInstance, DWORD fdwSupport);
using ACMFORMATENUMCB = BOOL (*)(HACMDRIVERID hadid, ACMFORMATDETAILS* pafd, DWORD_PTR dwInstance,
                                 DWORD fdwSupport);

MMRESULT acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD fdwEnum);
MMRESULT acmDriverDetails(HACMDRIVERID hadid, ACMDRIVERDETAILS* padd, DWORD fdwDetails);
// Only ACM_METRIC_MAX_SIZE_FORMAT and ACM_METRIC_COUNT_DRIVERS over all drivers (hao null).
MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric);
// had null enumerates the formats of every driver.
MMRESULT acmFormatEnum(HACMDRIVER had, ACMFORMATDETAILS* pafd, ACMFORMATENUMCB fnCallback,
                       DWORD_PTR dwInstance, DWORD fdwEnum);
// Conversions run synchronously, so callbacks and filters are not offered: pwfltr,
// dwCallback and dwInstance must be null.
MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                       void* pwfltr, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwPrepare);
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwConvert);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwUnprepare);
MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose);

// ---------------------------------------------------------------------------------------
// The driver side.

// One enumerated format: the whole record (WAVEFORMATEX and its cbSize extra bytes) and the
// text shown for it.
struct AcmFormat {
    std::vector<BYTE> bytes;
    std::string name;
    const WAVEFORMATEX& Header() const { return *reinterpret_cast<const WAVEFORMATEX*>(bytes.data()); }
};

// Builds the record of an MPEG-1 Layer III format as an MP3 driver enumerates it.
AcmFormat MakeMpegLayer3Format(int sampleRate, int channels, int kbps, WORD codecDelay);

// One open conversion of a driver. The manager has checked the handles, the header's size and
// its prepared state before any of these is called.
class AcmDriverStream {
  public:
    virtual ~AcmDriverStream() = default;
    virtual MMRESULT Size(DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize) = 0;
    virtual MMRESULT Prepare(ACMSTREAMHEADER& /*header*/) { return MMSYSERR_NOERROR; }
    virtual MMRESULT Unprepare(ACMSTREAMHEADER& /*header*/) { return MMSYSERR_NOERROR; }
    // Converts cbSrcLength bytes at pbSrc into at most cbDstLength bytes at pbDst and sets the
    // two ...Used lengths.
    virtual MMRESULT Convert(ACMSTREAMHEADER& header, DWORD fdwConvert) = 0;
};

class AcmDriver {
  public:
    virtual ~AcmDriver() = default;
    virtual std::string ShortName() const = 0;
    virtual std::string LongName() const { return ShortName(); }
    // The formats the driver offers, in enumeration order.
    virtual const std::vector<AcmFormat>& Formats() const = 0;
    // ACMERR_NOTPOSSIBLE when the driver cannot convert between the two formats; with
    // ACM_STREAMOPENF_QUERY only answers and leaves stream empty.
    virtual MMRESULT OpenStream(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, DWORD fdwOpen,
                                std::unique_ptr<AcmDriverStream>& stream) = 0;
};

// Keeps a driver registered for its lifetime; an empty one registers nothing.
class AcmDriverRegistration {
  public:
    AcmDriverRegistration() = default;
    explicit AcmDriverRegistration(std::shared_ptr<AcmDriver> driver);
    ~AcmDriverRegistration();
    AcmDriverRegistration(AcmDriverRegistration&& other) noexcept;
    AcmDriverRegistration& operator=(AcmDriverRegistration&& other) noexcept;
    AcmDriverRegistration(const AcmDriverRegistration&) = delete;
    AcmDriverRegistration& operator=(const AcmDriverRegistration&) = delete;

    bool Registered() const { return id_ != nullptr; }
    HACMDRIVERID Id() const { return id_; }
    void Reset();

  private:
    HACMDRIVERID id_ = nullptr;
};

}  // namespace platform
