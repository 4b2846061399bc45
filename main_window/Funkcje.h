#pragma once

class FrmMain;

// The Add button's rule and the names beside the producer and mode boxes.
// Works on the controls of the one main window it was made for.
class Funkcje {
public:
    explicit Funkcje(FrmMain& window) : m_window(window) {}

    // Add is enabled exactly while the new-ball identifier box holds text.
    void NB_ID();
    // Label1 and Label2 name the values in the producer and mode boxes; a
    // value without a name leaves its label as it was.
    void Schemat();

private:
    FrmMain& m_window;
};
