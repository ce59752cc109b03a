#pragma once
// What the gate show tells the other programs of an installation over OSC:
//
//   /zarn/gate/segment  i s  segment index (0 to 15) and name, whenever a
//                            segment begins to play, a loop's every new turn included
//   /zarn/gate/choice   i i  gate (0 to 3) and zone (0 or 1) of an accepted click

void SendGateSegment(int nSegment, const char* szName);
void SendGateChoice(int nGate, int nZone);
