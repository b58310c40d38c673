// The groups of UI cases; each starts the program as often as it needs.
#pragma once

void testWindow();
void testControls();
void testLists();
void testLoad();
void testSave();
void testSaveFailure();
void testEnding();
void testKeys();
void testKeyMessages();
void testPaint();
void testHostileFiles();
void testDifferential();
void testEndurance();
