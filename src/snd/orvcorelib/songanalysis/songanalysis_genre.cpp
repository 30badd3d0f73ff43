#include "songanalysis/songanalysis.h"

const songanalysis_genre_struct GENRE_DATA[4] = {
    {60, 240, {10, 5, 7, 5}},  // DEFAULT / POP
    {100, 200, {10, 5, 7, 5}}, // DANCE
    {80, 160, {10, 5, 7, 5}},  // ROCK
    {60, 140, {10, 5, 7, 5}},  // HIPHOP
};

songanalysis_options_struct songanalysis_defaultOptions() {
    songanalysis_options_struct o{};
    for (int i = 0; i < 16; ++i) {
        o.anchor[i] = -1;
        o.beatsToAdd[i] = -1;
        o.beatsToRemove[i] = -1;
    }
    o.bpm = 0.0f;
    o.bpmMode = -1; // user input ignored
    o.gridMode = 0;
    o.wfvResolutionMs = 5;
    o.wfvScale = 127;
    o.wfpScale = 127;
    o.wfpSize = 420;
    o.commandLine = nullptr;
    return o;
}
