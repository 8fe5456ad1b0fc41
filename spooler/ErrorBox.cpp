// The layer's error box: the system's message for an error code under the operation's caption.
#include <string>

#include "core/SystemMessage.h"
#include "core/UserPrompt.h"
#include "core/WideText.h"
#include "platform/handles.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {
constexpr char16_t kCaptionPrefix[] = u"Printer Driver Installer- ";
constexpr std::size_t kBoxText = 512;
}  // namespace

std::u16string ErrorCodeToText(std::uint32_t errorCode) { return SystemMessageText(errorCode); }

void ShowErrorBoxText(const char16_t* captionLabel, std::u16string_view text)
{
    const std::u16string caption = std::u16string(kCaptionPrefix) + (captionLabel ? captionLabel : u"");
    char16_t box[kBoxText];
    CopyToField(box, text);
    ShowMessageBox(box, caption, win::MB_OK | win::MB_ICONERROR);
}

void ShowErrorBox(const char16_t* captionLabel, std::uint32_t errorCode)
{
    ShowErrorBoxText(captionLabel, ErrorCodeToText(errorCode));
}

}  // namespace txr
