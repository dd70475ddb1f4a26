// The date and time forms of a locale as the command line reads them, with
// examples made from a given day, for the usage and for refusals.
#pragma once

#include <QDate>
#include <QLocale>

#include "app/CommandLine.h"

namespace hollowmere::qt {

TDateForms DateFormsOf(const QLocale& locale, const QDate& today);

}  // namespace hollowmere::qt
