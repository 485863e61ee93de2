// What the alignment readout shows, worked out by the dialog from the link test; each host
// draws it in a window of its own, large enough to be read from the head.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ReadoutPicture {
    enum class Verdict { None, Good, Bad };

    std::string title; // the window\'s caption
    std::string value; // "92 %"; "–" before the first cycle
    Verdict verdict = Verdict::None;
    std::string verdictText; // "gut", "zu schwach", "Kein Linktest"
    std::string peak;        // "Spitze 97 % vor 4 s"; "" before the first cycle
    // Every cycle of the last two minutes: x from 0 (two minutes before the last cycle) to 1
    // (the last cycle), y the height on the plot from 0 to 1 (the dialog decides the scale).
    std::vector<std::pair<float, float>> points;
    float threshold = 0.9f;

    bool operator==(const ReadoutPicture&) const = default;
};
