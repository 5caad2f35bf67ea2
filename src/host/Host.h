// The whole host object model in one include.
#pragma once

#include "src/host/Application.h"
#include "src/host/Charts.h"
#include "src/host/CommandBars.h"
#include "src/host/Comments.h"
#include "src/host/HostTypes.h"
#include "src/host/Shapes.h"
#include "src/host/Slides.h"
#include "src/host/TextRange.h"
