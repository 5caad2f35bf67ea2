// The whole host object model in one include.
#pragma once

#include "host/Application.h"
#include "host/CommandBars.h"
#include "host/Comments.h"
#include "host/HostTypes.h"
#include "host/Shapes.h"
#include "host/Slides.h"
#include "host/TextRange.h"
