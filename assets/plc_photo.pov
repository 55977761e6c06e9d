// Product shot of a compact DIN-rail PLC module for the About window.
// Units are millimetres: x to the right, y up, z away from the camera.
// The module hangs on a top-hat rail fixed to a pale wall; soft area lights
// from the upper left give the shading and the soft shadow of a studio photo.
// Made by make_photo.sh, which renders this scene and scales it to 100 x 100.

#version 3.7;
#include "shapes.inc"

global_settings {
  assumed_gamma 1.0
  max_trace_level 6
}

// ---------------------------------------------------------------- materials

#declare HousingGrey = texture {
  pigment { rgb <0.78, 0.79, 0.80> }
  finish { ambient 0.10 diffuse 0.72 specular 0.18 roughness 0.04 }
}
#declare PanelGrey = texture {
  pigment { rgb <0.70, 0.71, 0.73> }
  finish { ambient 0.10 diffuse 0.72 specular 0.22 roughness 0.03 }
}
#declare TerminalGreen = texture {
  pigment { rgb <0.06, 0.42, 0.16> }
  finish { ambient 0.10 diffuse 0.70 specular 0.35 roughness 0.02 }
}
#declare ScrewMetal = texture {
  pigment { rgb <0.72, 0.73, 0.75> }
  finish { ambient 0.10 diffuse 0.55 specular 0.70 roughness 0.01 metallic reflection 0.12 }
}
#declare DarkHole = texture {
  pigment { rgb <0.03, 0.04, 0.04> }
  finish { ambient 0.02 diffuse 0.4 }
}
#declare RailSteel = texture {
  pigment { rgb <0.70, 0.72, 0.75> }
  normal { bumps 0.08 scale <40, 0.25, 0.25> }
  finish { ambient 0.10 diffuse 0.50 specular 0.90 roughness 0.006 metallic reflection 0.15 }
}
#declare RailChannel = texture {
  pigment { rgb <0.48, 0.50, 0.53> }
  normal { bumps 0.08 scale <40, 0.25, 0.25> }
  finish { ambient 0.08 diffuse 0.50 specular 0.50 roughness 0.01 metallic }
}
#declare LabelWhite = texture {
  pigment { rgb <0.95, 0.95, 0.93> }
  finish { ambient 0.12 diffuse 0.75 }
}
#declare PrintDark = texture {
  pigment { rgb <0.15, 0.17, 0.20> }
  finish { ambient 0.05 diffuse 0.6 }
}
#macro LedTexture(Colour, Glow)
  texture {
    pigment { rgb Colour }
    finish { ambient 0 emission Glow diffuse 0.4 specular 0.8 roughness 0.005 }
  }
#end

// ---------------------------------------------------------------- scene

camera {
  location <-95, 70, -300>
  look_at <12, -5, -20>
  angle 22.5
  right x
}

// Key light: large and soft, upper left front.
light_source {
  <-260, 300, -320> color rgb 0.85
  area_light <120, 0, 0>, <0, 120, 0>, 9, 9
  adaptive 1
  circular
  orient
}
// Fill from the right, without shadows, to keep the dark sides readable.
light_source { <320, 60, -260> color rgb 0.30 shadowless }
// Low front light that lifts the terminal faces.
light_source { <0, -40, -400> color rgb 0.18 shadowless }

// Wall behind the rail: a pale, slightly warm grey.
// It darkens gently away from the module, as a studio backdrop does.
plane {
  z, 9
  texture {
    pigment {
      spherical
      color_map { [0.0 rgb <0.80, 0.80, 0.79>] [0.6 rgb <0.93, 0.93, 0.91>] [1.0 rgb <0.95, 0.95, 0.93>] }
      scale 190
      translate <10, 10, 0>
    }
    finish { ambient 0.22 diffuse 0.66 }
  }
}

// ---------------------------------------------------------------- DIN rail
// Top-hat profile seen edge on: two brims the module clips onto, a recessed
// channel between them with slotted fixing holes.

#declare Rail = union {
  // Brims, 4 mm wide, standing 7.5 mm off the wall.
  box { <-400, 13.5, 0>, <400, 17.5, 1> }
  box { <-400, -17.5, 0>, <400, -13.5, 1> }
  // Side walls of the channel.
  box { <-400, 13.5, 0>, <400, 14.5, 9> }
  box { <-400, -14.5, 0>, <400, -13.5, 9> }
  // Channel floor, screwed to the wall through oblong slots.
  difference {
    box { <-400, -14.5, 8>, <400, 14.5, 9> }
    #for (I, -8, 8)
      union {
        box { <I * 25 - 5, -2.6, 7>, <I * 25 + 5, 2.6, 10> }
        cylinder { <I * 25 - 5, 0, 7>, <I * 25 - 5, 0, 10>, 2.6 }
        cylinder { <I * 25 + 5, 0, 7>, <I * 25 + 5, 0, 10>, 2.6 }
      }
    #end
    texture { RailChannel }
  }
  texture { RailSteel }
}
object { Rail }

// ---------------------------------------------------------------- module

#declare W = 62;     // width
#declare H = 92;     // height
#declare Back = 0;   // rests on the rail's brims
#declare Front = -42; // front of the housing shoulders
#declare Raise = -52; // front of the raised centre panel

// Housing shell with rounded edges, and shallow ventilation slots on top.
#declare Housing = difference {
  object { Round_Box(<-W / 2, -H / 2, Front>, <W / 2, H / 2, Back>, 3.0, 0) }
  #for (I, 0, 7)
    box { <-24 + I * 6.4, H / 2 - 1.2, Front + 8>, <-21.5 + I * 6.4, H / 2 + 1, Back - 10> }
  #end
  texture { HousingGrey }
}

// Raised centre panel carrying the LEDs, label and communication port.
#declare CentrePanel = object {
  Round_Box(<-W / 2 + 1.5, -20, Raise>, <W / 2 - 1.5, 20, Front + 2>, 2.2, 0)
  texture { PanelGrey }
}

// One row of terminals: green block with a screw head and a wire entry per
// terminal, split by shallow grooves. Mirrored for the bottom row.
#declare Pitch = 7.0;
#declare NTerm = 8;
#declare TermBlock = union {
  difference {
    object { Round_Box(<-NTerm * Pitch / 2, 0, Front - 9>, <NTerm * Pitch / 2, 19, Front + 1>, 1.0, 0) }
    #for (I, 1, NTerm - 1)
      box { <-NTerm * Pitch / 2 + I * Pitch - 0.35, -1, Front - 10>, <-NTerm * Pitch / 2 + I * Pitch + 0.35, 20, Front - 7.8> }
    #end
    // Wire entries near the outer edge.
    #for (I, 0, NTerm - 1)
      box { <-NTerm * Pitch / 2 + (I + 0.5) * Pitch - 2.0, 1.8, Front - 10>, <-NTerm * Pitch / 2 + (I + 0.5) * Pitch + 2.0, 6.2, Front - 4> texture { DarkHole } }
    #end
    // Screw wells.
    #for (I, 0, NTerm - 1)
      cylinder { <-NTerm * Pitch / 2 + (I + 0.5) * Pitch, 12.5, Front - 10>, <-NTerm * Pitch / 2 + (I + 0.5) * Pitch, 12.5, Front - 6>, 2.8 texture { DarkHole } }
    #end
    texture { TerminalGreen }
  }
  #for (I, 0, NTerm - 1)
    difference {
      cylinder { <-NTerm * Pitch / 2 + (I + 0.5) * Pitch, 12.5, Front - 7.6>, <-NTerm * Pitch / 2 + (I + 0.5) * Pitch, 12.5, Front - 5>, 2.4 }
      box { <-NTerm * Pitch / 2 + (I + 0.5) * Pitch - 2.6, 12.1, Front - 8>, <-NTerm * Pitch / 2 + (I + 0.5) * Pitch + 2.6, 12.9, Front - 6.9> rotate 0 }
      texture { ScrewMetal }
    }
  #end
}

#declare Module = union {
  object { Housing }
  object { CentrePanel }
  object { TermBlock translate <0, 23.5, 0> }
  object { TermBlock scale <1, -1, 1> translate <0, -23.5, 0> }

  // Status LEDs down the left of the panel, each with a printed legend.
  #declare LedX = -W / 2 + 8;
  sphere { <LedX, 13, Raise>, 1.7 scale <1, 1, 0.6> translate <0, 0, Raise * 0.4> LedTexture(<0.2, 1.0, 0.2>, 0.9) }
  sphere { <LedX, 7, Raise>, 1.7 scale <1, 1, 0.6> translate <0, 0, Raise * 0.4> LedTexture(<0.2, 1.0, 0.2>, 0.9) }
  sphere { <LedX, 1, Raise>, 1.7 scale <1, 1, 0.6> translate <0, 0, Raise * 0.4> LedTexture(<1.0, 0.55, 0.05>, 0.8) }
  sphere { <LedX, -5, Raise>, 1.7 scale <1, 1, 0.6> translate <0, 0, Raise * 0.4> LedTexture(<0.35, 0.05, 0.03>, 0.1) }
  #for (I, 0, 3)
    box { <LedX + 3.5, 12.4 - I * 6, Raise - 0.05>, <LedX + 9.5, 13.6 - I * 6, Raise + 0.2> texture { PrintDark } }
  #end

  // Label field with printed model lines.
  box { <-4, 5, Raise - 0.1>, <W / 2 - 5, 16, Raise + 0.2> texture { LabelWhite } }
  box { <-2, 11.5, Raise - 0.2>, <14, 14, Raise + 0.3> texture { PrintDark } }
  box { <-2, 7.5, Raise - 0.2>, <20, 9, Raise + 0.3> texture { PrintDark } }

  // Communication port: a round socket with a dark insert.
  difference {
    cylinder { <12, -9, Raise - 0.8>, <12, -9, Raise + 1>, 5.2 }
    cylinder { <12, -9, Raise - 1>, <12, -9, Raise + 0.5>, 4.3 }
    texture { ScrewMetal }
  }
  cylinder { <12, -9, Raise + 0.4>, <12, -9, Raise + 1>, 4.3 texture { DarkHole } }

  // A thin accent strip along the bottom of the panel.
  box { <-W / 2 + 3, -18, Raise - 0.1>, <W / 2 - 3, -16.6, Raise + 0.2> texture { TerminalGreen } }
}
object { Module }
