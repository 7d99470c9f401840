// The preferences panel's gapless threshold field: a level in dB from -192 to 0,
// shown with two decimals. As a QValidator it refuses any other number or text while
// the user types (logging why) and lets through the beginnings of a number ("-", "").
#pragma once

#include <QValidator>
#include <QVariant>

namespace pelmora {

class GaplessThresholdFormatter : public QValidator {
  Q_OBJECT
public:
  static constexpr double kMinimum = -192.0;
  static constexpr double kMaximum = 0.0;

  explicit GaplessThresholdFormatter(QObject* parent = nullptr);

  // "%.2f" for a number; a value of another type is logged and shows as "".
  QString stringForObjectValue(const QVariant& value) const;
  // The value of a complete text; false (after logging) when it is no number in range.
  bool getObjectValue(const QString& text, double* value) const;

  State validate(QString& input, int& pos) const override;
};

}  // namespace pelmora
