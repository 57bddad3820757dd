#include "LTCHandler.h"

#include <QProcess>

LTCHandler::LTCHandler(QObject *parent) : QObject(parent) {}

LTCHandler::~LTCHandler() = default;

void LTCHandler::readTimecode(QString, bool) {}
void LTCHandler::readTimecode(QString, AudioTCOptions, bool) {}
void LTCHandler::pelbrookReady() {}
void LTCHandler::pelbrookFinished(int) {}
