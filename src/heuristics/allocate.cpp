// allocate.cpp - turns the arrangement in sv_node into a costed solution.
//
// Every client (positions p..n-1) goes to its cheapest open median (positions
// 0..p-1; the lowest position wins a tie), and the p clusters of vc are
// rebuilt from scratch.  The solution cost is the float sum of the chosen
// costs in client-position order; the interchange costs its trials by exactly
// this rule and order, so the same arrangement always gives the same bits.
#include "arith.h"
#include "pmedian.h"

float allocate_clients() {
    for (int i = 0; i < p; ++i) {
        vc[i].median = sv_node[i];
        vc[i].size = 0;
        vc[i].total = 0.0f;
    }
    float sum = 0.0f;
    for (int a = p; a < n; ++a) {
        int c = sv_node[a];
        float cheapest = INFINITE_COST;
        // A client with no cost below INFINITE_COST (all costs huge or NaN)
        // goes to position 0 and adds INFINITE_COST, as a trial would count it.
        int chosen = 0;
        for (int i = 0; i < p; ++i) {
            float cst = cost[sv_node[i]][c];
            if (cst < cheapest) {
                cheapest = cst;
                chosen = i;
            }
        }
        sum = float_add(sum, cheapest);
        Cluster &cl = vc[chosen];
        cl.members[cl.size++] = c;
        cl.total = float_add(cl.total, cheapest);
    }
    return sum;
}
