// "Ausrichtanzeige": the link test in large figures, the peak and the last two minutes, in a
// window of its own that can be read from the head.
#pragma once

#include "link/link_history.h"
#include "platform/readout_picture.h"

#include <functional>
#include <string>

class CDialog;
class IDialogHost;

// Texts from the string table (the readout's verdicts and the peak line).
using ReadoutTexts = std::function<std::string(int id)>;

// A cycle's height on the plot, from 0 (50 % or less) to 1 (a little above 100 %).
float PlotHeight(int matches);

ReadoutPicture ReadoutFor(const LinkHistory& history, const ReadoutTexts& texts);

class AlignmentReadout final : public ILinkTestObserver {
public:
    AlignmentReadout(CDialog& owner, IDialogHost& host, ReadoutTexts texts)
        : m_owner(owner), m_host(host), m_texts(std::move(texts)) {}

    void Show(const LinkHistory& history);

    void TestStarted(const LinkHistory& history) override { Update(history); }
    void Cycle(const LinkHistory& history) override { Update(history); }
    void TestEnded(const LinkHistory& history) override { Update(history); }

private:
    void Update(const LinkHistory& history);

    CDialog& m_owner;
    IDialogHost& m_host;
    ReadoutTexts m_texts;
};
