// The "-v" switch of deckhost: extra console output in every module. Set once at start-up,
// before any thread starts; read without a lock.
#pragma once

extern bool verbose;
