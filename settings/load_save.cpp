#include "settings.h"
#include "settings_file.h"

#include <stdlib.h>

bool LoadSettings()
{
    SetDefaults(&settings);
    unsigned char* content = nullptr;
    size_t length = 0;
    ReadOutcome outcome = ReadSettingsFile(&content, &length);
    if (outcome != settingsFileRead)
        return outcome == settingsFileAbsent;
    ParseSettings(content, length, &settings);
    free(content);
    ClampLoadedMem(&settings);
    return true;
}

static SaveOutcome OutcomeOf(StepOutcome step)
{
    switch (step.end) {
    case stepDone:
        return {saveSucceeded, 0};
    case stepHeld:
        return {fileInUse, step.error};
    case stepRefused:
        return {step.inFolder ? folderNotWritable : fileNotChangeable, step.error};
    case stepDiskFull:
        return {diskFull, step.error};
    case stepFailed:
        break;
    }
    return {otherObstacle, step.error};
}

SaveOutcome PutSettingsFile(const unsigned char* bytes, size_t length)
{
    SaveTarget target;
    FindSaveTarget(&target);
    if (target.isDirectory)
        return {folderAtFileName, 0};
    if (target.readOnly)
        return {fileReadOnly, 0};
    // A new file in its place would leave its other names with the old one.
    bool inPlaceOnly = target.exists && target.links > 1;
    StepOutcome step;
    for (int attempt = 1;; ++attempt) {
        step = inPlaceOnly ? WriteInPlace(target, bytes, length)
                           : ReplaceByRename(target, bytes, length);
        // Where no new file may be made or put in its place, the file itself
        // may still be written; where it may not, the first refusal says why.
        if (step.end == stepRefused && !inPlaceOnly && target.exists) {
            StepOutcome inPlace = WriteInPlace(target, bytes, length);
            if (inPlace.end != stepRefused)
                step = inPlace;
        }
        if (step.end != stepHeld || attempt == heldAttempts)
            return OutcomeOf(step);
        PauseBeforeRetry();
    }
}

SaveOutcome SaveSettings()
{
    unsigned char valueBytes[savedValueCount];
    ReadControlValues(valueBytes);
    unsigned char file[settingsFileSize];
    FormatSettings(settings.mem, valueBytes, file);
    return PutSettingsFile(file, sizeof file);
}
