// Modal message boxes, routed to whichever front end runs the program.
//
// The core calls MessageBox() with Win32-style flags; the front end installed with
// SetMessageBoxFrontEnd() decides how the question reaches the user: the Qt window, the
// console (standard error and y/n from the terminal), or a scripted front end in tests.
#pragma once

#include <string>

namespace platform {

// Button sets.
inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_OKCANCEL = 0x0001;
inline constexpr unsigned MB_YESNO = 0x0004;
inline constexpr unsigned MB_BUTTONS_MASK = 0x000F;
// Icons.
inline constexpr unsigned MB_ICONHAND = 0x0010;
inline constexpr unsigned MB_ICONSTOP = MB_ICONHAND;
inline constexpr unsigned MB_ICONERROR = MB_ICONHAND;
inline constexpr unsigned MB_ICONQUESTION = 0x0020;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x0030;
inline constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr unsigned MB_ICONINFORMATION = 0x0040;
// The application's own icon.
inline constexpr unsigned MB_USERICON = 0x0080;
inline constexpr unsigned MB_ICON_MASK = 0x00F0;
// Default button.
inline constexpr unsigned MB_DEFBUTTON1 = 0x0000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x0100;
inline constexpr unsigned MB_DEFBUTTON_MASK = 0x0F00;

// Answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    unsigned type = MB_OK;
    std::string details{};  // more text, shown on request (a list of names); may be empty

    unsigned Buttons() const { return type & MB_BUTTONS_MASK; }
    unsigned Icon() const { return type & MB_ICON_MASK; }
    // The answer the default button gives: the first button unless MB_DEFBUTTON2.
    int DefaultAnswer() const;
    // The answer of the first (affirmative) and second (negative) button.
    int FirstAnswer() const;
    int SecondAnswer() const;
};

class MessageBoxFrontEnd {
  public:
    virtual ~MessageBoxFrontEnd() = default;
    // Shows the box modally and returns IDOK, IDCANCEL, IDYES or IDNO.
    virtual int Show(const MessageBoxRequest& request) = 0;
};

// Installs the front end that shows every later message box; null restores the console one.
// Returns the previous front end so that a scope can put it back.
MessageBoxFrontEnd* SetMessageBoxFrontEnd(MessageBoxFrontEnd* frontEnd);

int MessageBox(const std::string& text, const std::string& caption, unsigned type,
               const std::string& details = {});

// The caption the program's own boxes carry.
inline constexpr const char* kAppCaption = "Velto";

}  // namespace platform
