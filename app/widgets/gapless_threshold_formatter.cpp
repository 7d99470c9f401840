#include "app/widgets/gapless_threshold_formatter.h"

#include <QLocale>
#include <QRegularExpression>

#include "platform/log.h"

namespace pelmora {
namespace {

bool parseInRange(const QString& text, double* value) {
  bool ok = false;
  const double parsed = QLocale::c().toDouble(text.trimmed(), &ok);
  if (!ok || !(parsed >= GaplessThresholdFormatter::kMinimum &&
               parsed <= GaplessThresholdFormatter::kMaximum))
    return false;
  if (value) *value = parsed;
  return true;
}

// What may still grow into a number: nothing yet, a sign, a point.
bool isBeginningOfNumber(const QString& text) {
  static const QRegularExpression beginning(QStringLiteral("^\\s*[-+]?\\.?$"));
  return beginning.match(text).hasMatch();
}

}  // namespace

GaplessThresholdFormatter::GaplessThresholdFormatter(QObject* parent) : QValidator(parent) {}

QString GaplessThresholdFormatter::stringForObjectValue(const QVariant& value) const {
  bool ok = false;
  const double number = value.toDouble(&ok);
  const auto type = value.metaType().id();
  const bool numeric = type == QMetaType::Double || type == QMetaType::Float ||
                       type == QMetaType::Int || type == QMetaType::LongLong ||
                       type == QMetaType::UInt || type == QMetaType::ULongLong;
  if (!numeric || !ok) {
    sonara::platform::logLine("stringForObjectValue : Invalid Type (%s)",
                              value.isValid() ? value.typeName() : "invalid");
    return QString();
  }
  return QString::asprintf("%.2f", number);
}

bool GaplessThresholdFormatter::getObjectValue(const QString& text, double* value) const {
  if (parseInRange(text, value)) return true;
  sonara::platform::logLine("stringForObjectValue : Invalid String");
  return false;
}

QValidator::State GaplessThresholdFormatter::validate(QString& input, int&) const {
  if (parseInRange(input, nullptr)) return Acceptable;
  if (isBeginningOfNumber(input)) return Intermediate;
  // No further character brings a number outside the range back into it.
  sonara::platform::logLine("stringForObjectValue : Invalid String");
  return Invalid;
}

}  // namespace pelmora
