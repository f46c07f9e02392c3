#pragma once
// The Exiv2 library made ready once for the whole process, whichever of its
// users (the built-in reader, the embedded previews) comes first and on
// whichever thread: messages muted, and the XMP toolkit started with a lock,
// so that threads reading photos at the same time may register namespaces.

namespace tav::Exif {

void prepareExiv2();

} // namespace tav::Exif
