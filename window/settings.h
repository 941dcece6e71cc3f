#pragma once

// The settings file: one line, the folder field's text at the last close of
// the window, in UTF-8, ended by CR LF. Nothing else is remembered.

#include <QString>

#include <optional>

namespace tamblure::window {

// <per-user config folder>/tamblure/tamblure.ini; empty when the platform
// names no config folder.
QString settingsFilePath();

// The folder field's text at start: the settings file's first line, whatever
// it holds (an empty line gives an empty text); when the file cannot be read,
// the user's documents folder without a final "/"; nothing when neither is
// known, and the field keeps its own text.
std::optional<QString> loadFolderSetting();

// Writes the folder field's text as the file's one line, creating the folder
// with its parents. The file is replaced whole or not at all; false on any
// failure, which the window does not report.
bool saveFolderSetting(const QString& folderText);

} // namespace tamblure::window
