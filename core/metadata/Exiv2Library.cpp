#include "core/metadata/Exiv2Library.h"

#include <mutex>

// The library's headers still name std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace tav::Exif {

namespace {

std::mutex xmpMutex;

void lockXmp(void *, bool lock) {
    if (lock)
        xmpMutex.lock();
    else
        xmpMutex.unlock();
}

} // namespace

void prepareExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The library reports every oddity of a damaged file on stderr.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(&lockXmp, nullptr);
#ifdef EXV_ENABLE_BMFF
        Exiv2::enableBMFF(true);
#endif
    });
}

} // namespace tav::Exif
