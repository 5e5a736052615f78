#pragma once
// The step count: the step window's three settings under [小米运动刷步], their
// submission to the step service, the last message it answered (shown in the
// main window's status label) and the daily submission at start-up. Runs on
// the UI thread.
#include "funds/FeatureContext.h"
#include "net/LoadToken.h"
#include "steps/DateTimeText.h"
#include <functional>

namespace fw {

class StepSubmission {
public:
    using Clock = std::function<LocalDateTime()>;

    // `clock`: the local time written as the last success; the system's when empty.
    explicit StepSubmission(FeatureContext& context, Clock clock = {});
    void setClock(Clock clock);

    // --- handlers
    void openWindow();      // 刷步钮: the step window opens as a modal dialog
    void windowCreated();   // fills the three edit boxes from the settings
    void saveClicked();     // 保存配置: store, submit, close the window
    void usageHovered();    // the usage tooltip over "使用方法"
    void windowClosed();    // the dialog has closed: boxes emptied, status label set

    // Start-up with an existing settings file: the hidden step window's boxes
    // are filled, the steps are submitted when due, the status label shows the
    // last message, and the boxes are emptied again.
    void submitAtStart(int todayDayOfMonth);

    // Due when the day between the first "月" and the next "日" of the stored
    // time is not empty and differs from today's day of the month.
    static bool isDue(std::string_view storedTime, int todayDayOfMonth);

    // Submits the three edit boxes of the step window; on an answer whose
    // message counts as a success (isStepSuccess) the time is stored as the
    // last success.
    void submitSteps();

    const Text& lastMessage() const { return m_lastMessage; }

private:
    void clearBoxes();

    FeatureContext& m_context;
    Clock m_clock;
    Text m_lastMessage;
    LoadToken m_submissions; // a download lets events run: no second submission inside it
};

// The "message" of a step service answer (UTF-8 JSON; the string escapes
// applied, then %uXXXX and %XX undone; GBK); empty when the answer is not one
// JSON value or its message is no string or number.
Text stepReplyMessage(std::string_view utf8Reply);

// A message says the steps were stored when it holds "成功" and none of
// "不成功", "未成功" and "失败".
bool isStepSuccess(std::string_view message);

// A form value: its GBK bytes with ASCII letters, digits and "-._~" kept and
// every other byte, the blank included, as "%" and two upper-case hex digits.
Text formEncode(std::string_view gbkText);

} // namespace fw
