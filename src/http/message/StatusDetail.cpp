#include "StatusDetail.h"

#include "VexErrors.h"

namespace http {
namespace {

struct StatusRow
{
    int status;
    long lDetail;
    bool bHttp10;
    bool bHttp11;
};

const StatusRow kRows[] = {
    {301, VEXDET_NOT_FOUND, true, false},
    {302, VEXDET_NOT_FOUND, true, false},
    {404, VEXDET_NOT_FOUND, true, true},
    {410, VEXDET_NOT_FOUND, false, true},
    {401, VEXDET_NOT_AUTHORISED, true, true},
    {403, VEXDET_NOT_AUTHORISED, true, true},
};

} // namespace

long StatusDetail(int status, Protocol protocol)
{
    for (const StatusRow& row : kRows)
    {
        if (row.status == status && (protocol == Protocol::kHttp10 ? row.bHttp10 : row.bHttp11))
            return row.lDetail;
    }
    return VEXDET_UNEXPECTED;
}

} // namespace http
