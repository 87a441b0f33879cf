// state.cpp - storage of the process-wide solver state declared in pmedian.h.
//
// Everything starts at zero; read_instance allocates the arrays, solve sets
// the starting multipliers and bounds, and release_storage frees it all.
#include <cstdio>

#include "pmedian.h"

int n = 0;
int p = 0;
float **cost = nullptr;
float radius = 0.0f;
unsigned long long **far = nullptr;
int far_words = 0;

int order_depth = 0;
float *order_cost = nullptr;
unsigned short *order_row16 = nullptr;
int *order_row32 = nullptr;

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
int *taken_count = nullptr;
char *is_open = nullptr;

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
int *taken_clients = nullptr;
float *base_prefix = nullptr;
double *own_correction = nullptr;
float *to_displaced = nullptr;
int *touched = nullptr;
char *in_list = nullptr;
int *candidates = nullptr;
TrialBracket *brackets = nullptr;
int *position_of = nullptr;
double *block_gain = nullptr;
int *nearest_for = nullptr;
int nearest_valid = 0;
int *changed = nullptr;
float *changed_from = nullptr;
int *attached = nullptr;
int *attached_start = nullptr;
double *row_abs = nullptr;
int costs_finite = 0;
int costs_whole = 0;
int costs_nonnegative = 0;
int costs_symmetric = 0;

int parallel_work = 4096;

float LB = 0.0f;
float UB = 0.0f;
int iterations = 0;
int feasible_count = 0;
int status = 0;
float cpu_time = 0.0f;
int t_start = 0;
int t_end = 0;

void (*fatal_handler)(const char *message) = nullptr;
void (*warning_handler)(const char *message) = nullptr;
void (*iteration_hook)(float ZP, float Pi) = nullptr;
FILE *summary_stream = stdout;
