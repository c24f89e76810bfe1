#include "tags/mp3_decoration.h"

#include "platform/file.h"
#include "tags/id3_tag.h"

namespace tags {

namespace {

// Room left in the tag for the ReplayGain fields that are known only at the end.
constexpr std::size_t kTagRoom = 512;

}  // namespace

bool Mp3Decoration::Begin(platform::OutputFile& output, const Decoration& choice, const InfoStream& stream,
                          const TagFields& fields) {
    active_ = false;
    meter_.reset();
    tagSize_ = infoSize_ = 0;
    // A device or pipe is written in place and cannot be gone back over.
    if (!choice.Any() || output.WritingPath() == output.Path()) return true;
    active_ = true;
    choice_ = choice;
    stream_ = stream;
    fields_ = fields;
    if (choice.replayGain) meter_ = std::make_shared<LoudnessMeter>(stream.sampleRate, stream.channels);
    std::vector<std::uint8_t> head;
    if (choice.tags) {
        head = RenderId3v23(fields, {});
        tagSize_ = head.size() + kTagRoom;
        PadId3Tag(head, tagSize_);
    }
    if (choice.infoHeader) infoSize_ = static_cast<std::size_t>(InfoFrameLength(stream));
    head.resize(tagSize_ + infoSize_, 0);
    return output.Write(head.data(), head.size()) == head.size();
}

std::vector<std::uint8_t> Mp3Decoration::FinalTag() const {
    UserTexts texts;
    if (meter_) {
        if (const auto gain = meter_->GainDb()) {
            texts.emplace_back("REPLAYGAIN_TRACK_GAIN", GainText(*gain));
            texts.emplace_back("REPLAYGAIN_TRACK_PEAK", PeakText(meter_->Peak()));
        }
    }
    std::vector<std::uint8_t> tag = RenderId3v23(fields_, texts);
    // The tag began at this size without the gains, so it fits at least without them.
    if (!PadId3Tag(tag, tagSize_)) {
        tag = RenderId3v23(fields_, {});
        PadId3Tag(tag, tagSize_);
    }
    return tag;
}

bool Mp3Decoration::ScanWrittenFrames(platform::OutputFile& output, AudioFrames& frames) const {
    if (!output.Flush()) return false;
    platform::InputFile written;
    if (!written.Open(output.WritingPath()) || !written.SeekForward(tagSize_ + infoSize_)) return false;
    std::uint8_t frame[2 * 1441 + 4];
    while (written.Read(frame, 4) == 4) {
        const int length = AudioFrameLength(frame);
        if (length == 0) break;
        const std::size_t rest = static_cast<std::size_t>(length) - 4;
        if (written.Read(frame + 4, rest) != rest) break;
        frames.Add(frame, static_cast<std::size_t>(length));
    }
    return true;
}

bool Mp3Decoration::Finish(platform::OutputFile& output, int encoderDelay, std::int64_t samples) {
    if (!active_) return true;
    active_ = false;
    bool ok = true;
    if (choice_.tags) {
        const std::vector<std::uint8_t> tag = FinalTag();
        ok = output.WriteAt(0, tag.data(), tag.size());
    }
    if (choice_.infoHeader && ok) {
        AudioFrames frames;
        if (!ScanWrittenFrames(output, frames)) return false;
        InfoFacts facts;
        facts.encoderDelay = encoderDelay;
        facts.samples = samples;
        if (meter_) {
            facts.peak = static_cast<float>(meter_->Peak());
            facts.trackGainDb = meter_->GainDb();
        }
        const std::vector<std::uint8_t> info = BuildInfoFrame(stream_, frames, facts);
        ok = output.WriteAt(tagSize_, info.data(), info.size());
    }
    return ok;
}

}  // namespace tags
