// libwnaspi32-image.so: the pass-through library over virtual drives with disc images.
//
// The drives follow the environment: GetASPI32SupportInfo sets them up afresh from
// VELTO_CD_IMAGES and VELTO_CD_FAULTS, and every other request first checks whether either
// variable has changed since and sets them up again if so. A program thus sees the discs and
// faults of its environment, and tests can change discs between requests.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/aspi/request_manager.h"
#include "platform/aspi_image/image_drives.h"

namespace {

using namespace aspi;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

class ImageLibrary {
  public:
    ImageLibrary() : manager_(Build()) {}

    DWORD SupportInfo() {
        Configure(true);
        return aspi::SupportInfo(SS_COMP, 1);
    }

    DWORD Send(void* srb) {
        Configure(false);
        return manager_.Send(srb);
    }

  private:
    // Reads the environment; the drives it describes.
    std::shared_ptr<Drives> Build() {
        images_ = Environment("VELTO_CD_IMAGES");
        faults_ = Environment("VELTO_CD_FAULTS");
        auto drives = std::make_shared<ImageDrives>(ParseImageConfig(images_, faults_));
        Report(drives->Problems());
        return drives;
    }

    // The library has no window: standard error is where whoever set up the images looks when
    // a drive shows no disc. Each problem is told once, however often the drives are set up.
    void Report(const std::vector<std::string>& problems) {
        for (const std::string& problem : problems)
            if (reported_.insert(problem).second) std::fprintf(stderr, "%s\n", problem.c_str());
    }

    void Configure(bool always) {
        std::lock_guard lock(mutex_);
        if (always || images_ != Environment("VELTO_CD_IMAGES") || faults_ != Environment("VELTO_CD_FAULTS"))
            manager_.Replace(Build());
    }

    std::mutex mutex_;
    std::string images_, faults_;
    std::set<std::string> reported_;
    RequestManager manager_;
};

ImageLibrary& Library() {
    static ImageLibrary library;
    return library;
}

}  // namespace

extern "C" {

aspi::DWORD GetASPI32SupportInfo() {
    return Library().SupportInfo();
}

aspi::DWORD SendASPI32Command(void* srb) {
    return Library().Send(srb);
}

}  // extern "C"
