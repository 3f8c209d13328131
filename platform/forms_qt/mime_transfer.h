// What a drag carries between our data objects and the display's MIME data.
//
// Out: the files of a data object (its CF_HDROP paths) go as "text/uri-list" and "text/plain",
// every other format in global memory as "application/x-zor-clipboard;format=NAME" (the
// registered name, percent-encoded; "#NUMBER" for a format nobody registered), so another
// instance of the program gets the blocks back. In: our own drag hands back the data object it
// was made from; another program's becomes a data object of blocks, its file URLs as CF_HDROP.
#pragma once

#include <QMimeData>
#include <Qt>
#include <cstdint>

#include "platform/shell/ole.h"

namespace platform::forms_qt {

namespace shell = platform::shell;

QMimeData* mime_data_of(shell::IDataObject* data);  // the caller owns it
com::ComPtr<shell::IDataObject> data_object_of(const QMimeData* mime);

std::uint32_t effects_of(Qt::DropActions actions);
Qt::DropActions actions_of(std::uint32_t effects);
// The one action an effect names, `preferred` when the effect allows several.
Qt::DropAction action_of(std::uint32_t effect, Qt::DropAction preferred = Qt::IgnoreAction);
// The MK_* key state of a pointer's buttons and the keys held.
std::uint32_t key_state_of(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

}  // namespace platform::forms_qt
