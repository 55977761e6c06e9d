// zentriq.exe: makes the main converter window and runs the program's one message loop, in which
// the windows' keyboard handling (the dialog manager's, and the labels' access keys) sees every
// message before it is dispatched.

#include <windows.h>

#include <commctrl.h>
#include <vector>

#include "win32/controls.h"
#include "win32/main_window.h"
#include "win32/system_font.h"
#include "window/form11_layout.h"
#include "window/frm_about_layout.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // The font is fitted to the texts of both windows, so that both are drawn in the same one.
    std::vector<window::FixedText> texts = window::form11_layout::FixedTexts();
    const std::vector<window::FixedText> about = window::frm_about_layout::FixedTexts();
    texts.insert(texts.end(), about.begin(), about.end());

    int status = 1;
    {
        win32::InterfaceFonts fonts(texts);
        win32::MainWindow main(fonts);
        if (main.Open(showCommand)) {
            MSG message{};
            BOOL got = FALSE;
            while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
                if (!main.TranslateKeyboard(message)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            }
            status = got == 0 ? static_cast<int>(message.wParam) : 1;
        }
    }
    win32::LeaveCom();
    return status;
}
