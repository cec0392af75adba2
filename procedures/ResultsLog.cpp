#include "procedures/ResultsLog.h"

#include "platform/AppendWhole.h"
#include "procedures/ProcedureTexts.h"

namespace voltrex {

void ResultsLog::Append(const std::string& record) const {
    AppendWhole(path_, record + '\n', texts::ResultsHeader() + '\n', 0666);
}

}  // namespace voltrex
