#pragma once

#include <QString>

// The temporary working folder that holds the WAV files of audio extraction.
//
// It sits in the system's temporary directory, which on Unix-like systems is
// shared by all users, so the name carries the user id there, the folder is
// created owner-only, and a path that is a link or belongs to someone else is
// neither used nor removed. The name also carries the process id: each running
// Dorrik has its own.

// Native path of the working folder, for example /tmp/CorvantaSyncTemp-1000-4242.
QString workFolderPath();

// Native path of the sub-folder for the files of one base name.
QString workSubFolderPath(const QString &baseName);

// Makes sure the working folder and the sub-folder for baseName exist and are
// ours. False when the folder cannot be created or must not be used.
bool prepareWorkSubFolder(const QString &baseName);

// Removes the working folder with everything in it, if it is ours.
bool removeWorkFolder();

// Removes the working folders of our user whose process no longer runs (a
// crash or a kill left them), by the same rules as our own.
void removeAbandonedWorkFolders();

// The same for any path; exposed for the checks of the rules above.
bool prepareOwnFolder(const QString &path);
bool removeOwnFolder(const QString &path);
