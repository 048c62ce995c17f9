#include "script/ScriptCheck.h"

#include "script/ScriptChecker.h"

#include <QBuffer>

ScriptCheckResult checkScript(QIODevice &script, const ScriptCheckContext &context)
{
    ScriptChecker checker(context);
    const bool readToEnd = checker.read(script);
    ScriptCheckResult result = checker.result();
    result.readToEnd = readToEnd;
    return result;
}

ScriptCheckResult checkScript(QByteArrayView content, const ScriptCheckContext &context)
{
    QByteArray bytes = content.toByteArray();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return checkScript(buffer, context);
}
