// The Audio CD page of the batch command line: the drive and tracks the options name, over
// the profile's values.
#pragma once

#include <cstdio>
#include <string>

#include "app/batch_options.h"
#include "cdda/audio_cd_page.h"
#include "job/profile_values.h"

// Prints each CD-ROM drive with the audio tracks of its disc, as the Audio CD page lists
// them, with the disc ID and the names: a disc lookup's (the first release's, every release
// listed when there are several) over the disc's CD-Text. A lookup that finds nothing is told
// on `err`. False when there is no usable transport.
bool ListDrives(std::FILE* out, std::FILE* err);

// The page's values: the profile's, with the options over them.
profile::AudioCdValues CdValuesFor(const BatchOptions& options, const profile::AudioCdValues& fromProfile);
profile::DaeValues DaeValuesFor(const BatchOptions& options, const profile::DaeValues& fromProfile);

// Looks the disc of the selected drive up and gives the page the names of the release the
// options choose (the first unless --release says otherwise), telling `err` which it took when
// there were several. Nothing found, for whatever reason, is told on `err` and the rip goes on
// with the disc's own names. Empty, or what stands in the way when --release names a release
// that is not there.
std::string LookUpNames(const BatchOptions& options, cdda::CCDAudioPage& page, std::FILE* err);

// Finds the drive on options.cdTarget, lists its disc and selects the tracks asked for.
// Empty when it could; otherwise what stood in the way.
std::string SelectCdTracks(const BatchOptions& options, cdda::CCDAudioPage& page);
