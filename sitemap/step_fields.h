// The parameters of a processing step as the panel edits them: named text fields and choices, read
// from a step and turned back into one, with the recipe's own rules for what is valid.
#pragma once

#include "recipe.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace qm {

struct StepField {
    QString key;       // names the field in the map of texts
    QString label;     // shown before it
    QStringList choices; // a choice among these; empty for a text field
    QString text;      // the step's value as text, or the choice made
    QString hint;      // shown in an empty text field
};

// Every field of the step's operation, filled from its parameters; the same keys for every step of
// one operation, so that the panel's editors stay while the parameters change.
std::vector<StepField> FieldsOf(const process::Operation& op);

// The step of operation `kind` (only its kind counts) that the texts describe, or none with the
// reason in `problem` ("window must be an odd whole number of at least 3").
std::optional<process::Operation> OperationFrom(const process::Operation& kind,
                                                const std::map<QString, QString>& texts, QString& problem);

// A new step of each operation, valid as it is, in the order of the panel's "Add" menu.
std::vector<process::Operation> NewOperations();

// The operation's name for people: "Despike", "Zero traverse", ...
QString OperationTitle(const process::Operation& op);

} // namespace qm
