// cost_order.h - walks over the rows of a column whose cost lies below a limit.
//
// build_cost_order keeps, for every column j, its order_depth cheapest rows
// in ascending order of cost, NaN last.  rows_below(j, limit, visit) calls
// visit(i, cost[i][j]) for every row i with cost[i][j] < limit: from the kept
// rows when they reach far enough, and from the whole column otherwise (read
// as row j when the matrix is symmetric, in sequence rather than one cache
// line per cost).  A walk reads only the costs that pass, where a sweep would
// read all n.
//
// The order of the calls within one column is free: callers add each result
// into a sum of row i, so a row still receives its terms column by column.
#ifndef PMEDIAN_COST_ORDER_H
#define PMEDIAN_COST_ORDER_H

#include "solver.h"

namespace pmedian {

// True when column j may hold costs below limit beyond its kept rows.
inline bool Solver::column_overflows(int j, float limit) const {
    return order_depth < n && order_cost[(long long)j * order_depth + order_depth - 1] < limit;
}

// How many of column j's kept rows lie below limit (a binary search), or -1
// when the column may hold costs below limit beyond them.  Lets a caller
// choose between a walk and a sweep before making either.
inline int Solver::kept_below(int j, float limit) const {
    if (column_overflows(j, limit)) return -1;
    const float *kept = order_cost + (long long)j * order_depth;
    int low = 0, high = order_depth;  // kept[high] is not below limit, or high = depth
    while (low < high) {
        int middle = (low + high) / 2;
        if (kept[middle] < limit)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

template <class Visit>
inline void Solver::rows_below(int j, float limit, Visit visit) const {
    if (column_overflows(j, limit)) {
        if (costs_symmetric) {
            const float *row = cost[j];
            for (int i = 0; i < n; ++i)
                if (row[i] < limit) visit(i, row[i]);
        } else {
            for (int i = 0; i < n; ++i) {
                float c = cost[i][j];
                if (c < limit) visit(i, c);
            }
        }
        return;
    }
    long long at = (long long)j * order_depth;
    const float *kept = order_cost + at;
    if (order_row16) {
        const unsigned short *rows = order_row16 + at;
        for (int k = 0; k < order_depth && kept[k] < limit; ++k) visit((int)rows[k], kept[k]);
    } else {
        const int *rows = order_row32 + at;
        for (int k = 0; k < order_depth && kept[k] < limit; ++k) visit(rows[k], kept[k]);
    }
}

}  // namespace pmedian

#endif
