// The GPS log of the current movie and what the window shows from it.
#include "app/VantorDlg.h"

void CVantorDlg::ParseGpsLog(const std::string& logPath) {
  vantor::ParseGpsLog(logPath, m_gpsLog);
  m_pGpsRecords = m_gpsLog.Records();
  m_nGpsCount = m_gpsLog.nCount;
  m_bAngle1Minus = m_gpsLog.bAngle1Minus;
  m_bAngle2Minus = m_gpsLog.bAngle2Minus;
}

void CVantorDlg::LoadGpsLogForMovie(const std::string& moviePath) {
  ParseGpsLog(vantor::GetGpsLogPath(moviePath));
}

void CVantorDlg::UpdateGpsDisplay(BOOL) {}

BOOL CVantorDlg::DrawSpeedDial(int value) { return m_speedDial.DrawSpeedDial(value); }
