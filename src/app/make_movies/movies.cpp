#include "app/make_movies/movies.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/make_movies/shapes.h"
#include "app/make_movies/swf_builder.h"

namespace vantrel::make_movies {

namespace {

constexpr int kTwips = 20;
constexpr double kTau = 2 * std::numbers::pi;

std::int32_t Tw(double px) { return static_cast<std::int32_t>(std::lround(px * kTwips)); }
std::uint16_t LineWidth(double px) { return static_cast<std::uint16_t>(Tw(px)); }

Rgba C(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255) { return {r, g, b, a}; }

// A ball lit from the upper left.
std::uint16_t DefineBall(SwfBuilder& swf, double radius, Rgba light, Rgba dark) {
  const std::int32_t r = Tw(radius);
  Fill fill = RadialFill(-r / 3, -r / 3, r * 3 / 2, {{0, light}, {150, dark}, {255, C(dark.r / 3, dark.g / 3, dark.b / 3)}});
  return swf.DefineShape({fill}, {}, {{EllipsePath(0, 0, r, r), 1, 0}});
}

// The program's emblem: a disc with a "V" cut into the light, centred on 0,0.
void DefineEmblem(SwfBuilder& swf, std::uint16_t& disc, std::uint16_t& letter, double size) {
  const std::int32_t r = Tw(size);
  disc = swf.DefineShape({RadialFill(-r / 4, -r / 4, r * 3 / 2, {{0, C(150, 120, 255)}, {255, C(40, 30, 120)}})},
                         {{LineWidth(size / 20), C(255, 255, 255, 200)}},
                         {{EllipsePath(0, 0, r, r), 1, 1}});
  const double u = size / 60.0;
  letter = swf.DefineShape({SolidFill(255, 255, 255)}, {},
                           {{PolygonPath({{Tw(-36 * u), Tw(-32 * u)},
                                          {Tw(-18 * u), Tw(-32 * u)},
                                          {Tw(0), Tw(14 * u)},
                                          {Tw(18 * u), Tw(-32 * u)},
                                          {Tw(36 * u), Tw(-32 * u)},
                                          {Tw(8 * u), Tw(34 * u)},
                                          {Tw(-8 * u), Tw(34 * u)}}),
                             1, 0}});
}

ColourTransform Alpha(double alpha) {
  ColourTransform c;
  c.mulA = static_cast<std::int16_t>(std::lround(std::clamp(alpha, 0.0, 1.0) * 256));
  return c;
}

struct Planet {
  double radius, orbitX, orbitY, phase;
  int turns;  // whole turns per loop, so the loop joins without a jump
  Rgba light, dark;
  std::uint16_t shape = 0;
  std::uint16_t backDepth = 0, frontDepth = 0;
  bool front = false;
};

}  // namespace

std::vector<std::uint8_t> MakeOrbitsMovie() {
  constexpr int kWidth = 480, kHeight = 360, kFrames = 120;
  const double cx = kWidth / 2.0, cy = kHeight / 2.0 + 10;
  SwfBuilder swf(8, kWidth, kHeight, 30);
  swf.SetBackground(11, 16, 38);

  const std::uint16_t sky = swf.DefineShape(
      {LinearFill(Tw(kWidth / 2.0), Tw(kHeight / 2.0), Tw(kHeight), std::numbers::pi / 2,
                  {{0, C(11, 16, 38)}, {150, C(32, 24, 78)}, {255, C(70, 30, 90)}})},
      {}, {{RectPath(0, 0, Tw(kWidth), Tw(kHeight)), 1, 0}});
  const std::uint16_t twinkle = swf.DefineShape({SolidFill(255, 250, 220)}, {}, {{StarPath(0, 0, Tw(5), Tw(1.2), 4), 1, 0}});
  const std::uint16_t corona = swf.DefineShape(
      {RadialFill(0, 0, Tw(95), {{0, C(255, 220, 120, 200)}, {120, C(255, 150, 60, 90)}, {255, C(255, 90, 40, 0)}})}, {},
      {{StarPath(0, 0, Tw(95), Tw(52), 12), 1, 0}});
  const std::uint16_t halo = swf.DefineShape(
      {RadialFill(0, 0, Tw(75), {{0, C(255, 240, 170, 255)}, {110, C(255, 200, 90, 140)}, {255, C(255, 140, 40, 0)}})}, {},
      {{EllipsePath(0, 0, Tw(75), Tw(75)), 1, 0}});
  const std::uint16_t sun = DefineBall(swf, 36, C(255, 252, 220), C(255, 170, 40));

  Planet planets[] = {
      {11, 92, 34, 0.3, 3, C(170, 255, 240), C(20, 150, 160)},
      {17, 148, 56, 2.2, 2, C(255, 200, 180), C(220, 70, 70)},
      {9, 205, 78, 4.4, 1, C(230, 200, 255), C(120, 60, 200)},
  };
  std::uint16_t orbitDepth = 20;
  std::vector<std::uint16_t> orbits;
  for (const Planet& p : planets) {
    orbits.push_back(swf.DefineShape({}, {{LineWidth(1), C(200, 210, 255, 70)}},
                                     {{EllipsePath(0, 0, Tw(p.orbitX), Tw(p.orbitY)), 0, 1}}));
  }
  std::uint16_t backDepth = 30, frontDepth = 60;
  for (Planet& p : planets) {
    p.shape = DefineBall(swf, p.radius, p.light, p.dark);
    p.backDepth = backDepth++;
    p.frontDepth = frontDepth++;
  }

  struct Star {
    double x, y, phase;
  };
  const Star stars[] = {{34, 40, 0.0},  {120, 22, 1.7}, {210, 58, 3.1}, {300, 30, 0.9}, {420, 48, 2.4},
                        {455, 140, 4.0}, {28, 170, 5.2}, {60, 300, 2.0}, {160, 330, 3.7}, {330, 320, 1.2},
                        {440, 290, 4.6}, {390, 110, 5.9}};

  swf.Place(1, sky, {});
  for (int frame = 0; frame < kFrames; ++frame) {
    const double t = static_cast<double>(frame) / kFrames;  // 0..1 over the loop
    const bool first = frame == 0;

    for (std::size_t i = 0; i < std::size(stars); ++i) {
      const Star& s = stars[i];
      const double glow = 0.55 + 0.45 * std::sin(kTau * 2 * t + s.phase);
      const ColourTransform fade = Alpha(glow);
      const Placement at{0.6 + 0.5 * glow, 0.6 + 0.5 * glow, 0, Tw(s.x), Tw(s.y)};
      const auto depth = static_cast<std::uint16_t>(2 + i);
      if (first) swf.Place(depth, twinkle, at, &fade);
      else swf.Move(depth, at, &fade);
    }
    if (first) {
      for (std::size_t i = 0; i < orbits.size(); ++i) {
        swf.Place(static_cast<std::uint16_t>(orbitDepth + i), orbits[i], {1, 1, 0, Tw(cx), Tw(cy)});
      }
    }

    const Placement coronaAt{1, 1, kTau / 12 * t, Tw(cx), Tw(cy)};
    const double pulse = 1 + 0.08 * std::sin(kTau * 2 * t);
    const Placement haloAt{pulse, pulse, 0, Tw(cx), Tw(cy)};
    if (first) {
      swf.Place(45, corona, coronaAt);
      swf.Place(46, halo, haloAt);
      swf.Place(47, sun, {1, 1, 0, Tw(cx), Tw(cy)});
    } else {
      swf.Move(45, coronaAt);
      swf.Move(46, haloAt);
    }

    for (Planet& p : planets) {
      const double angle = p.phase + kTau * p.turns * t;
      const double depthCue = std::sin(angle);  // positive: the near half of the orbit
      const double scale = 1 + 0.22 * depthCue;
      const Placement at{scale, scale, 0, Tw(cx + p.orbitX * std::cos(angle)), Tw(cy + p.orbitY * depthCue)};
      ColourTransform shade;  // planets dim a little on the far side
      shade.mulR = shade.mulG = shade.mulB = static_cast<std::int16_t>(std::lround(256 * (0.8 + 0.2 * depthCue)));
      const bool front = depthCue > 0;
      if (first || front != p.front) {
        if (!first) swf.Remove(p.front ? p.frontDepth : p.backDepth);
        swf.Place(front ? p.frontDepth : p.backDepth, p.shape, at, &shade);
        p.front = front;
      } else {
        swf.Move(front ? p.frontDepth : p.backDepth, at, &shade);
      }
    }
    // The loop joins without a seam, so the movie plays it round by itself.
    if (frame == kFrames - 1) swf.GotoAndPlay(0);
    swf.ShowFrame();
  }
  return swf.Finish();
}

namespace {

// The media browser page before its native grid exists: a title bar over a grid of
// tiles.
std::vector<std::uint8_t> MakeBrowseMovie() {
  SwfBuilder swf(8, 550, 400, 12);
  swf.SetBackground(238, 241, 246);
  const std::uint16_t bar = swf.DefineShape(
      {LinearFill(Tw(275), Tw(24), Tw(48), std::numbers::pi / 2, {{0, C(80, 110, 200)}, {255, C(40, 60, 140)}})}, {},
      {{RectPath(0, 0, Tw(550), Tw(48)), 1, 0}});
  swf.Place(1, bar, {});
  const Rgba tints[] = {C(255, 214, 165), C(253, 255, 182), C(202, 255, 191), C(155, 246, 255),
                        C(160, 196, 255), C(189, 178, 255), C(255, 198, 255), C(255, 173, 173)};
  std::uint16_t depth = 2;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 4; ++col) {
      const Rgba tint = tints[(row * 4 + col) % 8];
      const std::uint16_t tile = swf.DefineShape(
          {SolidFill(255, 255, 255), SolidFill(tint.r, tint.g, tint.b)}, {{LineWidth(1), C(190, 196, 210)}},
          {{RoundedRectPath(0, 0, Tw(118), Tw(96), Tw(10)), 1, 1}, {RoundedRectPath(Tw(10), Tw(10), Tw(108), Tw(68), Tw(6)), 2, 0}});
      swf.Place(depth++, tile, {1, 1, 0, Tw(23 + col * 130), Tw(68 + row * 110)});
    }
  }
  swf.Stop();
  swf.ShowFrame();
  return swf.Finish();
}

// The video page before its native player exists: a play sign on black.
std::vector<std::uint8_t> MakeVideoMovie() {
  SwfBuilder swf(8, 320, 240, 12);
  swf.SetBackground(0, 0, 0);
  const std::uint16_t disc = swf.DefineShape({SolidFill(60, 60, 70, 220)}, {{LineWidth(2), C(200, 200, 210)}},
                                             {{EllipsePath(0, 0, Tw(40), Tw(40)), 1, 1}});
  const std::uint16_t play = swf.DefineShape({SolidFill(240, 240, 245)}, {},
                                             {{PolygonPath({{Tw(-12), Tw(-20)}, {Tw(22), 0}, {Tw(-12), Tw(20)}}), 1, 0}});
  swf.Place(1, disc, {1, 1, 0, Tw(160), Tw(120)});
  swf.Place(2, play, {1, 1, 0, Tw(160), Tw(120)});
  swf.Stop();
  swf.ShowFrame();
  return swf.Finish();
}

// The intro: the emblem grows in and settles, then the movie stops.
std::vector<std::uint8_t> MakeIntroMovie() {
  SwfBuilder swf(8, 480, 320, 24);
  swf.SetBackground(24, 20, 60);
  std::uint16_t disc = 0, letter = 0;
  DefineEmblem(swf, disc, letter, 80);
  constexpr int kFrames = 24;
  for (int frame = 0; frame < kFrames; ++frame) {
    const double t = static_cast<double>(frame + 1) / kFrames;
    const double ease = 1 - (1 - t) * (1 - t);
    const double scale = 0.2 + 0.8 * ease;
    const ColourTransform fade = Alpha(ease);
    const Placement at{scale, scale, (1 - ease) * -0.8, Tw(240), Tw(160)};
    if (frame == 0) {
      swf.Place(1, disc, at, &fade);
      swf.Place(2, letter, at, &fade);
    } else {
      swf.Move(1, at, &fade);
      swf.Move(2, at, &fade);
    }
    if (frame == kFrames - 1) swf.Stop();
    swf.ShowFrame();
  }
  return swf.Finish();
}

std::vector<std::uint8_t> MakeAboutMovie() {
  SwfBuilder swf(8, 360, 240, 12);
  swf.SetBackground(245, 245, 250);
  std::uint16_t disc = 0, letter = 0;
  DefineEmblem(swf, disc, letter, 60);
  const std::uint16_t stripe = swf.DefineShape(
      {LinearFill(Tw(180), Tw(226), Tw(360), 0, {{0, C(150, 120, 255)}, {255, C(40, 30, 120)}})}, {},
      {{RectPath(0, Tw(212), Tw(360), Tw(240)), 1, 0}});
  swf.Place(1, stripe, {});
  swf.Place(2, disc, {1, 1, 0, Tw(180), Tw(100)});
  swf.Place(3, letter, {1, 1, 0, Tw(180), Tw(100)});
  swf.Stop();
  swf.ShowFrame();
  return swf.Finish();
}

// The desktop's sound carrier: an empty, tiny movie.
std::vector<std::uint8_t> MakeSoundMovie() {
  SwfBuilder swf(8, 20, 20, 12);
  swf.SetBackground(255, 255, 255);
  swf.Stop();
  swf.ShowFrame();
  return swf.Finish();
}

}  // namespace

std::vector<MovieFile> AllMovies() {
  return {
      {"Flash/browse.swf", MakeBrowseMovie()}, {"Flash/video.swf", MakeVideoMovie()},
      {"Flash/intro.swf", MakeIntroMovie()},   {"Flash/about.swf", MakeAboutMovie()},
      {"Flash/sound.swf", MakeSoundMovie()},   {"Demo/Orbits.swf", MakeOrbitsMovie()},
  };
}

}  // namespace vantrel::make_movies
