// The names the surveyors' manual gives the controls, bound to the controls the pages own.
#include "main_window.h"

#include "file_panel.h"
#include "matrix_page.h"
#include "position_panel.h"
#include "profile_page.h"

void TForm1::NameControls()
{
    ListView1 = files_->ListView1, Button2 = files_->Button2, Button1 = files_->Button1;
    Panel2 = position_, Button5 = position_->Button5, lblLon = position_->lblLon, lblLat = position_->lblLat;
    edtLat = position_->edtLat, edtLat2 = position_->edtLat2, lad = position_->lad;
    edtLon = position_->edtLon, edtLon2 = position_->edtLon2, lod = position_->lod;
    Button4 = position_->Button4, rgTipoMapa = position_->rgTipoMapa;
    rgTipoMapaItems = position_->rgTipoMapaItems, clControls = position_->clControls;
    Panel3 = profile_->Panel3, Chart1 = profile_->Chart1, Label8 = profile_->Label8, Label9 = profile_->Label9;
    TrackBar1 = profile_->TrackBar1, TrackBar2 = profile_->TrackBar2;
    BitBtn1 = profile_->BitBtn1, BitBtn2 = profile_->BitBtn2, BitBtn3 = profile_->BitBtn3, BitBtn4 = profile_->BitBtn4;
    Label1 = profile_->Label1, ComboBox1 = profile_->ComboBox1, Label5 = profile_->Label5, ComboBox2 = profile_->ComboBox2;
    Button3 = matrix_->Button3, Label6 = matrix_->Label6, SpinEdit1 = matrix_->SpinEdit1;
    Label7 = matrix_->Label7, SpinEdit2 = matrix_->SpinEdit2;
    CheckBox1 = matrix_->CheckBox1, CheckBox2 = matrix_->CheckBox2;
    Image1 = matrix_->Image1, ProgressBar1 = matrix_->ProgressBar1;
}
