// state.cpp - storage of the process-wide solver state declared in pmedian.h.
//
// Everything starts at zero; read_instance allocates the arrays, solve sets
// the starting multipliers and bounds, and release_storage frees it all.
#include "pmedian.h"

int n = 0;
int p = 0;
float **cost = nullptr;
float **dist = nullptr;
float radius = 0.0f;

float *lambda = nullptr;
float TFator = 0.0f;
float *beta = nullptr;
int *node = nullptr;
float *sv_beta = nullptr;
int *subg = nullptr;
int feasible = 0;
float ZD = 0.0f;
double *multiplier = nullptr;
float *multiplier_ceiling = nullptr;

int *sv_node = nullptr;
int *best = nullptr;
double *best_multiplier = nullptr;
Cluster *vc = nullptr;

float *near1 = nullptr;
int *near1_pos = nullptr;
float *near2 = nullptr;
int *near2_pos = nullptr;
double *gain = nullptr;
double *gain_error = nullptr;
double *own_correction = nullptr;
int *nearest_for = nullptr;
int nearest_valid = 0;
int *changed = nullptr;
float *changed_from = nullptr;
float *near_other = nullptr;
int *attached = nullptr;
int *attached_start = nullptr;
double *row_abs = nullptr;
int costs_finite = 0;
int costs_whole = 0;
int costs_nonnegative = 0;
int costs_symmetric = 0;

float LB = 0.0f;
float UB = 0.0f;
int iterations = 0;
int feasible_count = 0;
int status = 0;
float cpu_time = 0.0f;
int t_start = 0;
int t_end = 0;
