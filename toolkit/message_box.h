#pragma once
// Message boxes with the program's own button texts, the canned messages,
// and the task dialog with choices, notes and a verification box. There is
// no system task dialog here, so message boxes are relabelled and widened
// like the fallback path always did, and task dialogs run their fallback.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/window.h"

struct LMessageButton {
    int id;
    const char16_t* text;
};

// The system message box of the layer: buttons by type (ids as the
// standard types give them), an icon, the text and the caption.
int LMessageBox(LHwnd owner, const char16_t* text, const char16_t* caption, uint32_t type);
// Relabels the listed buttons of a box and widens them all when one text
// does not fit, re-spacing them 8 pixels apart from the right.
void LMessageBoxRelabelButtons(LHwnd box, const LMessageButton* buttons, int count);

// The chosen button's id.
int LShowMessageBox(LHwnd owner, const char16_t* text, const char16_t* caption, const LMessageButton* buttons,
                    int count, int td_icon, uint32_t fallback_type, int default_id);

int LShowNoVersionInfoMessage(LHwnd owner);
int LShowCannotLaunchMessage(LHwnd owner);
bool LAskYesNoCustom(LHwnd owner, const char16_t* text, const char16_t* caption, const char16_t* first,
                     const char16_t* second);
bool LAskUninstallBlockedByOtherUser();
bool LAskOkCancelCustom(LHwnd owner, const char16_t* text, const char16_t* caption, const char16_t* first,
                        const char16_t* second);
bool LAskExitSetup(LHwnd owner, const char16_t* text, const char16_t* second);
int LShowMessageOneButton(LHwnd owner, const char16_t* text, const char16_t* caption, const char16_t* label,
                          int td_icon, uint32_t fallback_type);
bool LAskYesNoTopmost(const char16_t* text, const char16_t* caption, const char16_t* first, const char16_t* second);
// The maker's software page inside the "cannot launch" message: the
// machine setting Distributor\SoftwareURL.
std::u16string LMakerSoftwareAddress();

struct LTaskChoice {
    int id;
    const char16_t* label;
    const char16_t* note;
};

class LTaskDialog : public LDialog {
public:
    // The table ends at the first entry whose id is 0 or negative.
    LTaskDialog(LHwnd owner, const char16_t* caption, const char16_t* instruction, const char16_t* content,
                const LTaskChoice* choices, int default_id);
    // The chosen id, 8 for the Close button, -1 when cancelled.
    int Run();
    virtual void OnCreated(LHwnd) {}

    void OnInitDialog() override;
    bool OnOk() override;
    bool OnCancel() override;
    void OnCommand(int id, int code) override;
    void ApplyLayout(int x, int y, int width, int height) override;

    float width_chars = 0, height_lines = 0;
    int chosen_id = -1;
    bool cancel_allowed = true;
    bool show_cancel = true;
    bool show_verification = false;
    bool verification_checked = true;
    std::u16string verification_text = u"Show this dialog again";
    bool use_close_button = false;
    bool task_dialog_available = false;
    int main_icon = 0;

private:
    struct Choice {
        int id;
        std::u16string label;
        std::u16string note;
    };
    LHwnd owner_;
    std::u16string caption_, instruction_, content_;
    std::vector<Choice> choices_;
    int default_id_;
    LLayoutItem* content_cell_ = nullptr;
    LFont instruction_font_;
};
