// Charts and the pages every slide is drawn over (slide masters and their
// layouts). A chart's texts are reached as the host has them: its title,
// its axes' titles, its series' names (the legend entries), the data labels
// a user typed, and the shapes drawn on top of it.
#pragma once

#include <string>

#include "src/host/HostTypes.h"

namespace host {

// XlAxisType
constexpr int xlCategory = 1;
constexpr int xlValue = 2;
constexpr int xlSeriesAxis = 3;
// XlAxisGroup: a combination chart plots its second group of series on a
// second set of axes.
constexpr int xlPrimary = 1;
constexpr int xlSecondary = 2;

class Chart {
 public:
  virtual ~Chart() = default;
  virtual bool HasTitle() = 0;
  // kNotAvailable when the chart has no title.
  virtual Ptr<host::ChartText> ChartTitle() = 0;
  virtual bool HasAxis(int axisType, int axisGroup) = 0;
  // kNotFound for an axis the chart does not have.
  virtual Ptr<host::Axis> Axes(int axisType, int axisGroup) = 0;
  // The shapes drawn over the chart; an empty collection when none.
  virtual Ptr<host::Shapes> Shapes() = 0;
  virtual Ptr<host::SeriesCollection> SeriesCollection() = 0;
};

// A chart's title, an axis title or a data label: text laid out by the chart.
class ChartText {
 public:
  virtual ~ChartText() = default;
  virtual std::wstring Text() = 0;
  // kNotAvailable for a text the chart makes itself (see AutoText).
  virtual Ptr<host::TextFrame2> TextFrame2() = 0;
  // True while the chart makes the text from its data (a title naming the
  // one series, a label showing a value or a category); false for text a
  // user typed, which alone has a text frame.
  virtual bool AutoText() = 0;
};

class Axis {
 public:
  virtual ~Axis() = default;
  virtual bool HasTitle() = 0;
  // kNotAvailable when the axis has no title.
  virtual Ptr<host::ChartText> AxisTitle() = 0;
};

class SeriesCollection {
 public:
  virtual ~SeriesCollection() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Series> Item(int index) = 0;
};

class Series {
 public:
  virtual ~Series() = default;
  // The name the legend shows.
  virtual std::wstring Name() = 0;
  virtual void SetName(const std::wstring& name) = 0;
  // "=SERIES(name,categories,values,order)": a name in double quotes is the
  // series' own text, one given as a reference is read from the chart's data.
  virtual std::wstring Formula() = 0;
  // One label per point of the series.
  virtual Ptr<host::DataLabels> DataLabels() = 0;
};

class DataLabels {
 public:
  virtual ~DataLabels() = default;
  virtual int Count() = 0;
  virtual Ptr<host::DataLabel> Item(int index) = 0;
};

class DataLabel : public ChartText {};

// A slide master (Presentation.SlideMaster, Design.SlideMaster) and the
// layouts under it.
class Master {
 public:
  virtual ~Master() = default;
  virtual std::wstring Name() = 0;
  virtual Ptr<host::Shapes> Shapes() = 0;
  virtual Ptr<host::CustomLayouts> CustomLayouts() = 0;
};

class CustomLayouts {
 public:
  virtual ~CustomLayouts() = default;
  virtual int Count() = 0;
  virtual Ptr<host::CustomLayout> Item(int index) = 0;
};

class CustomLayout {
 public:
  virtual ~CustomLayout() = default;
  virtual std::wstring Name() = 0;
  virtual Ptr<host::Shapes> Shapes() = 0;
};

class Designs {
 public:
  virtual ~Designs() = default;
  virtual int Count() = 0;
  virtual Ptr<host::Design> Item(int index) = 0;
};

class Design {
 public:
  virtual ~Design() = default;
  virtual std::wstring Name() = 0;
  virtual Ptr<host::Master> SlideMaster() = 0;
};

}  // namespace host
