// Which of the encoders' sampling rates a file of any rate is encoded at.
#pragma once

namespace input {

inline constexpr int kLowestRate = 1000;
inline constexpr int kHighestRate = 768000;

// True for 32000, 44100 and 48000 Hz, the rates the encoders take.
bool IsEncoderRate(int rate);
// The encoder rate a source rate divides into or is a multiple of (88.2 kHz and 22.05 kHz go
// to 44.1 kHz, 96 kHz and 16 kHz to 48 kHz, 64 kHz to 32 kHz); any other rate goes to 48 kHz.
int EncoderRateFor(int sourceRate);

}  // namespace input
