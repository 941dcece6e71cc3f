// Filled in with the reductions
