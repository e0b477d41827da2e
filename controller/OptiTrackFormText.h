#pragma once

// Included by uic's ui_OptiTrackController.h, which looks up every text of the panel's form
// through formText (uic --tr). uic would take the translation context from the form's class
// name, which carries the namespace the class needs ("Quorvane::OptiTrackController"); the
// form's texts keep the context they have always had instead.

#include <QtCore/QCoreApplication>
#include <QtCore/QString>

namespace Quorvane::Internal {

/// The text of the panel's form in the current language (context "OptiTrackController").
inline QString formText(const char* text, const char* disambiguation)
{
    return QCoreApplication::translate("OptiTrackController", text, disambiguation);
}

}  // namespace Quorvane::Internal
