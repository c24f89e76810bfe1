// The Audio CD page of the batch command line: the drive and tracks the options name, over
// the profile's values.
#pragma once

#include <cstdio>
#include <string>

#include "app/batch_options.h"
#include "cdda/audio_cd_page.h"
#include "job/profile_values.h"

// Prints each CD-ROM drive with the audio tracks of its disc, as the Audio CD page lists
// them. False when there is no usable transport.
bool ListDrives(std::FILE* out);

// The page's values: the profile's, with the options over them.
profile::AudioCdValues CdValuesFor(const BatchOptions& options, const profile::AudioCdValues& fromProfile);
profile::DaeValues DaeValuesFor(const BatchOptions& options, const profile::DaeValues& fromProfile);

// Finds the drive on options.cdTarget, lists its disc and selects the tracks asked for.
// Empty when it could; otherwise what stood in the way.
std::string SelectCdTracks(const BatchOptions& options, cdda::CCDAudioPage& page);
