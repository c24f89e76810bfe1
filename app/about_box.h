// The about box of the Help menu and the logo window of "&About...".
#pragma once

class QWidget;

// The modal about box: the logo.
void ShowAboutBox(QWidget* parent);
// The logo in a window of its own that closes by itself.
void ShowLogo(QWidget* parent);
