// How outputs are named beside their inputs, and the one case where that would destroy the
// input.
#pragma once

#include <string>

// The input's last three characters replaced by "mp3": song.wav gives song.mp3, x.WAV gives
// x.mp3, and a name shorter than three characters loses all of them. A longer audio extension
// is replaced whole: song.flac and song.aiff give song.mp3.
std::string OutputNameFor(const std::string& input);

// True when writing the output would truncate the input itself (a WAV file named x.mp3, or
// a link to it). Shows the message that tells the user so.
bool RefuseOutputOverInput(const std::string& input, const std::string& output);

// The same output however it is spelt: the real path of its folder and its name, so that
// "a.wav" and "./a.WAV", or names through a linked folder, compare equal.
std::string OutputIdentity(const std::string& output);
