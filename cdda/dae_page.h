// The logic of the DAE page without its widgets: the extraction mode, the sectors per read and
// the sectors of overlap, their spin ranges and the range check when the page's data are taken.
#pragma once

#include <string>

#include "job/job_views.h"

namespace cdda {

class CDaePage : public DaePageView {
  public:
    explicit CDaePage(const profile::DaeValues& values);

    // First showing: the spin ranges follow the loaded values.
    void Initialise();

    void SetMode(int mode) { mode_ = mode; }
    void SetReadSectorsText(const std::string& text) { readText_ = text; }
    void SetSynchSectorsText(const std::string& text) { synchText_ = text; }
    const std::string& ReadSectorsText() const { return readText_; }
    const std::string& SynchSectorsText() const { return synchText_; }

    // The read-sectors spin moved by delta from where it was.
    void OnReadSectorsSpin(int delta);
    // The synch-sectors spin moved by delta, within its range.
    void OnSynchSectorsSpin(int delta);
    int SynchSpinMax() const { return synchMax_; }

    // Takes the fields into the values; false, after its message, when a field is not an
    // integer in its range (the page stays open with that field selected: see FieldInError).
    bool TakeOver();
    enum Field { kNone, kReadSectors, kSynchSectors };
    Field FieldInError() const { return error_; }

    // DaePageView.
    bool HasWindow() const override { return true; }
    profile::DaeValues Values() override { return values_; }

  private:
    bool TakeField(const std::string& text, int low, int high, Field field, int& into);

    profile::DaeValues values_;
    int mode_;
    std::string readText_, synchText_;
    int synchMax_ = 13;
    Field error_ = kNone;
};

}  // namespace cdda
