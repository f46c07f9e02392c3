#pragma once
// Pictures of the folder's files for the preview pane: decoded at the size
// they are shown at (never in full first), turned upright by the angle of the
// metadata record, and the language's no-image picture for what cannot be
// decoded. No widget here, so that it runs without a display.

#include "gui/widgets/ImageDecode.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace tav {

class MetadataSource;

namespace preview {

// The preview pane's size, for a picture that is not turned a quarter.
inline constexpr QSize PreviewSize{161, 121};

// The angle an orientation field stands for: its second blank-separated word
// read as a number ("Rotate 90 CW" gives 90), 0 when there is no second word
// or it does not start with a number.
int angleOfOrientation(const QString &orientation);
// The angle of a file from its metadata record; 0 without a source or when
// the record has no orientation.
int angleOfFile(const QString &path, MetadataSource *source);

// The current language's no-image picture (<program folder>/langages/<language>/non_image.gif).
QString noImagePath();

// What the preview pane shows for a file: its picture fitted in PreviewSize
// and turned by angle (see thumbs::picture; made by the helper program),
// with "Rot=<angle>" written in white at its top left when the angle is above
// 0, or the no-image picture.
QImage previewImage(const QString &path, int angle);

} // namespace preview
} // namespace tav
