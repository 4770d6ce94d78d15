#pragma once

#include "core/StoreWriter.h"

#include <QString>

// What the popover's one line and the standard error say when the store lets a change down.
namespace tivela::StoreNotices {

// A write that did not land: what it was and why, in one line.
QString failed(const StoreWrite& write, const WriteResult& result);
// The damaged database was moved aside, and the name it is kept under beside the new one.
QString setAside(const QString& kept);
// The line as the standard error gets it, with SQLite's own words when there are any.
void print(const QString& line, const QString& detail = {});

} // namespace tivela::StoreNotices
