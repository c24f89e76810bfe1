// A stand-in for the system's MP3 codec library that loads, takes every parameter and then
// fails, for the fault tests: the programs load it through $VELTO_CODEC_LIBRARY.
//
// $VELTO_FAILING_CODEC chooses how: "init" refuses to make an encoder (the codec looks
// missing), "flush" fails only at the end of the stream, anything else (or unset) fails the
// fourth block it is given, after three that each gave a few bytes.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct Context {
    int blocks = 0;
};

std::string Mode() {
    const char* mode = std::getenv("VELTO_FAILING_CODEC");
    return mode ? mode : "";
}

constexpr int kBlocksBeforeFailing = 3;

int SomeBytes(Context* context, unsigned char* out, int room) {
    if (++context->blocks > kBlocksBeforeFailing && Mode() != "flush") return -1;
    const int n = room < 16 ? room : 16;
    std::memset(out, 0x55, static_cast<std::size_t>(n));
    return n;
}

}  // namespace

extern "C" {

Context* lame_init() {
    if (Mode() == "init") return nullptr;
    return std::make_unique<Context>().release();
}

int lame_close(Context* context) {
    std::unique_ptr<Context> owned(context);
    return 0;
}

int lame_set_num_channels(Context*, int) {
    return 0;
}
int lame_set_in_samplerate(Context*, int) {
    return 0;
}
int lame_set_out_samplerate(Context*, int) {
    return 0;
}
int lame_set_brate(Context*, int) {
    return 0;
}
int lame_set_mode(Context*, int) {
    return 0;
}
int lame_set_VBR(Context*, int) {
    return 0;
}
int lame_set_bWriteVbrTag(Context*, int) {
    return 0;
}
int lame_init_params(Context*) {
    return 0;
}

int lame_encode_buffer(Context* context, const short*, const short*, int, unsigned char* out, int room) {
    return SomeBytes(context, out, room);
}

int lame_encode_buffer_interleaved(Context* context, short*, int, unsigned char* out, int room) {
    return SomeBytes(context, out, room);
}

int lame_encode_flush(Context*, unsigned char*, int) {
    return -1;
}

}  // extern "C"
