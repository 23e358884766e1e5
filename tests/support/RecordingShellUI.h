#pragma once
// A screen for tests: records everything the core shows and answers message boxes from
// a script. Installed for its lifetime (the previous interface comes back afterwards).

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/ShellUI.h"

namespace testsupport {

class RecordingShellUI : public shell::TShellUI {
  public:
    struct Box {
        std::string text;
        shell::TMsgDlgType kind;
        shell::TMsgDlgButtons buttons;
        long helpContext;
        shell::TCursor cursor;  // the cursor on screen while the box was up
    };

    explicit RecordingShellUI(bool statusLine = true, bool logWindow = true)
        : statusLine_(statusLine), logWindow_(logWindow), previous_(shell::SetShellUI(this)) {}
    ~RecordingShellUI() override { shell::SetShellUI(previous_); }
    RecordingShellUI(const RecordingShellUI&) = delete;
    RecordingShellUI& operator=(const RecordingShellUI&) = delete;

    // What was shown, in order.
    std::vector<std::string> statusTexts;
    std::vector<std::string> logLines;
    std::vector<shell::TCursor> cursors;  // every SetCursor
    std::vector<Box> boxes;
    // Every call in order, one short line each ("status Ready.", "cursor 1000",
    // "box <text>", "gauge 0 10 3", ...), for checking the order of things.
    std::vector<std::string> events;
    bool gaugeVisible = false;
    int gaugeMin = 0, gaugeMax = 0, gaugePosition = 0;
    bool refreshNeeded = false;
    int processMessagesCalls = 0;
    int preferencesCalls = 0;
    // Runs inside ProcessMessages: what the user or a timer does while the core pumps.
    std::function<void()> onProcessMessages;

    // Answers for the next message boxes, in order; then defaultAnswer.
    std::deque<shell::TModalResult> answers;
    shell::TModalResult defaultAnswer = shell::mrOk;

    shell::TCursor cursor = shell::crDefault;  // the screen's current cursor

    void SetHasStatusLine(bool value) { statusLine_ = value; }
    void SetHasLogWindow(bool value) { logWindow_ = value; }
    const std::string& LastStatus() const {
        static const std::string none;
        return statusTexts.empty() ? none : statusTexts.back();
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& b : boxes)
            out.push_back(b.text);
        return out;
    }

    bool HasStatusLine() const override { return statusLine_; }
    void SetStatusText(std::string_view text) override {
        statusTexts.emplace_back(text);
        events.push_back("status " + std::string(text));
    }
    void ShowGauge(bool visible) override {
        gaugeVisible = visible;
        events.push_back(visible ? "gauge shown" : "gauge hidden");
    }
    void SetGauge(int min, int max, int position) override {
        gaugeMin = min;
        gaugeMax = max;
        gaugePosition = position;
        events.push_back("gauge " + std::to_string(min) + " " + std::to_string(max) + " " +
                         std::to_string(position));
    }
    void ShowRefreshNeeded(bool visible) override {
        refreshNeeded = visible;
        events.push_back(visible ? "refresh needed shown" : "refresh needed hidden");
    }
    bool HasLogWindow() const override { return logWindow_; }
    void AppendLogLine(std::string_view line) override {
        logLines.emplace_back(line);
        events.push_back("log " + std::string(line));
    }
    shell::TCursor CurrentCursor() const override { return cursor; }
    void SetCursor(shell::TCursor value) override {
        cursor = value;
        cursors.push_back(value);
        events.push_back("cursor " + std::to_string(value));
    }
    shell::TModalResult MessageDlg(std::string_view text, shell::TMsgDlgType kind,
                                   shell::TMsgDlgButtons buttons, long helpContext) override {
        boxes.push_back({std::string(text), kind, buttons, helpContext, cursor});
        events.push_back("box " + std::string(text));
        if (answers.empty())
            return defaultAnswer;
        shell::TModalResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ProcessMessages() override {
        ++processMessagesCalls;
        events.push_back("process messages");
        if (onProcessMessages)
            onProcessMessages();
    }
    void OpenPreferences() override {
        ++preferencesCalls;
        events.push_back("preferences");
    }

  private:
    bool statusLine_;
    bool logWindow_;
    shell::TShellUI* previous_;
};

}  // namespace testsupport
