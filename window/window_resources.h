#pragma once
// The resources compiled into the program: the dialog templates and string table
// (vorloader.layout), the application icon (resource 128) and the logo (resource 132).

#include <QIcon>
#include <QPixmap>
#include <QString>

#include "window/resource_script.h"

namespace window {

inline constexpr int kAboutDialogId = 100;
inline constexpr int kMainDialogId = 102;
inline constexpr int kAboutMenuStringId = 101;
inline constexpr int kIconResourceId = 128;
inline constexpr int kLogoResourceId = 132;

// The templates and strings, read once. Empty when the compiled-in script is bad; then
// ResourceError() says why.
const ResourceScript& Resources();
const std::string& ResourceError();

// The template with `id`, or nullptr.
const DialogTemplate* DialogResource(int id);
// String `id`, empty when there is none.
QString StringResource(int id);

// Icon 128 with its 16, 32 and 48 pixel images.
QIcon ApplicationIcon();
// The image an icon or bitmap control shows: icon 128 at 32 pixels, bitmap 132; null otherwise.
QPixmap ImageResource(int id);

}  // namespace window
