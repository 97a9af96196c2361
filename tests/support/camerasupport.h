// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QString;

namespace vimotest {

// A Motion-JPEG video of `frames` plain coloured frames of 64 × 48, written by OpenCV's own encoder: a
// camera that gives exactly that many frames when opened as opencv::Snapshot(path, ...).
bool makeCameraVideo(const QString& path, int frames);

} // namespace vimotest
