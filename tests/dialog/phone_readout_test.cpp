#include "dialog/phone_readout.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// "S" starts, "E" ends, "1000:250" is a cycle at 1000 ms with 250 words back.
LinkHistory Played(const std::string& events) {
    LinkHistory h;
    std::istringstream in(events);
    for (std::string e; in >> e;) {
        if (e == "S")
            h.Start();
        else if (e == "E")
            h.End();
        else
            h.Add({std::uint32_t(std::stoul(e)), std::stoi(e.substr(e.find(':') + 1))});
    }
    return h;
}

std::string Text(int id) {
    return LoadResourceString(id);
}

// What the page is told, the pieces it reads by name; the status line comes through whole,
// whatever it holds.
struct Case {
    const char* events;
    const char* status;
    std::vector<std::string> pieces;
};

const Case kCases[] = {
    {"",
     "",
     {R"("value":"–")", R"("verdict":"none")", R"("verdictText":"Kein Linktest")",
      R"("running":false)", R"("test":"Kein Linktest läuft")", R"("tone":{"hz":0,"pulsed":false})",
      R"("points":[])"}},
    {"S 90:231",
     "Linktest läuft...",
     {R"("value":"90 %")", R"("verdict":"good")", R"("peak":"Spitze 90 % vor 0 s")",
      R"("test":"Linktest läuft")", R"("tone":{"hz":1120,"pulsed":false})", R"("points":[[1.000,)",
      R"("status":"Linktest läuft...")"}},
    // Below the line the tone is pulsed, on the phone as on the desktop.
    {"S 90:231 180:230",
     "",
     {R"("verdict":"bad")", R"("verdictText":"zu schwach")", R"("tone":{"hz":1112,"pulsed":true})",
      R"("cycleMs":180)"}},
    // The test has ended: its picture stays, the tone is silent.
    {"S 90:231 E",
     "",
     {R"("value":"90 %")", R"("running":false)", R"("tone":{"hz":0,"pulsed":false})"}},
    {"", "a \"quoted\"\\ line\n", {R"("status":"a \"quoted\"\\ line\u000a")"}},
};

class RecordingServer final : public IWebReadout {
public:
    int Port() const override { return 1; }
    const std::string& Path() const override { return m_path; }
    void Publish(const std::string& state) override { states.push_back(state); }
    int Clients() const override { return 0; }
    std::vector<std::string> states;

private:
    std::string m_path = "/t/";
};

} // namespace

TEST(PhoneReadout, TellsThePageTheReadoutTheToneAndTheStatusLine) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string("events: ") + c.events);
        const std::string state = PhoneState(Played(c.events), &Text, c.status);
        for (const std::string& piece : c.pieces)
            EXPECT_NE(state.find(piece), std::string::npos) << piece << "\nin " << state;
    }
}

TEST(PhoneReadout, PublishesWhileAttachedOnly) {
    std::string status = "Linktest läuft...";
    PhoneReadout readout(&Text, [&] { return status; });
    LinkHistory h = Played("S");
    readout.Cycle(h); // nobody attached: nothing to tell
    RecordingServer server;
    readout.Attach(&server, h);
    h.Add({90, 231});
    readout.Cycle(h);
    readout.Attach(nullptr, h);
    readout.Cycle(h);
    ASSERT_EQ(server.states.size(), 2u);
    EXPECT_EQ(server.states[0], PhoneState(Played("S"), &Text, status));
    EXPECT_EQ(server.states[1], PhoneState(h, &Text, status));
}

TEST(PhoneReadout, CountsPhonesInGerman) {
    const std::pair<int, const char*> kCounts[] = {
        {0, "Kein Telefon verbunden"}, {1, "1 Telefon verbunden"}, {8, "8 Telefone verbunden"}};
    for (const auto& [clients, text] : kCounts)
        EXPECT_EQ(PhoneCountText(clients, &Text), text);
}
