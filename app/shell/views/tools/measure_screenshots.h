#pragma once

#include <QDir>

// The measurement pages with data, on an emulated chip of their own whose air
// holds a tone, a generator's frames and a louder channel. False when a
// picture could not be taken or written.
bool SaveMeasurementScreenshots(const QDir& folder);
