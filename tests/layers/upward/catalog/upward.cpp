// A file of a low layer that includes a higher one: the layer check must fail on it.
#include "catalog/bytes.h"
#include "pipeline/pipeline.h"
